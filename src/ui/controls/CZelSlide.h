#pragma once

#include <QColor>
#include <QString>

#include <optional>

#include "ui/controls/CZelControl.h"

// A linear slide (fader) over a range of doubles, vertical with its minimum at
// the bottom or horizontal with its minimum on the left. The user drags the
// thumb, clicks the track to jump there, or steps it with the wheel and the
// arrow keys. A second pointer can mark another value (a cue mark, a pending
// track). As a meter it is read-only and shows a filled, segmented bar.
class CZelSlide : public CZelControl {
    Q_OBJECT
public:
    explicit CZelSlide(Qt::Orientation orientation = Qt::Vertical, QWidget* parent = nullptr);

    Qt::Orientation Orientation() const { return orientation_; }
    void SetOrientation(Qt::Orientation orientation);

    // The value is kept inside the range; a range change moves it in if needed.
    void SetRange(double minimum, double maximum);
    double Minimum() const { return minimum_; }
    double Maximum() const { return maximum_; }

    double Value() const { return value_; }
    // Always reports ValueChanged, also when the value stays the same: the
    // owner's change handling runs as for a user's move.
    void SetValue(double value);

    // The value that the right-button release restores.
    void SetNeutralValue(double value) { neutral_ = value; update(); }
    void ClearNeutralValue() { neutral_.reset(); update(); }
    std::optional<double> NeutralValue() const { return neutral_; }

    // Wheel notch and arrow key step; a hundredth of the range unless set.
    void SetStep(double step) { step_ = step; }
    double Step() const;

    void SetPointerColour(const QColor& colour);
    QColor PointerColour() const { return pointerColour_; }

    void SetSecondPointerVisible(bool visible);
    bool IsSecondPointerVisible() const { return secondVisible_; }
    void SetSecondValue(double value);
    double SecondValue() const { return secondValue_; }
    void SetSecondPointerColour(const QColor& colour);
    QColor SecondPointerColour() const { return secondColour_; }

    // Number of divisions of the scale beside the track; 0 draws no ticks.
    void SetTicks(int divisions);
    int Ticks() const { return ticks_; }
    // Text below a vertical slide or left of a horizontal one.
    void SetCaption(const QString& caption);
    const QString& Caption() const { return caption_; }

    // A meter ignores the mouse and the keys and shows a bar up to its value.
    void SetMeter(bool meter);
    bool IsMeter() const { return meter_; }

    // True between a left press on the slide and its release.
    bool IsDragging() const { return dragging_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void ValueChanged(double value);
    void SecondValueChanged(double value);
    // Left mouse button pressed on and released from the slide.
    void Pressed();
    void Released();

protected:
    void Reset() override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Sets the value and notifies; `always` also notifies an unchanged value.
    void ChangeValue(double value, bool always);
    double Clamp(double value) const;
    // The area without the caption, and the travel of the thumb's centre.
    QRectF BodyRect() const;
    double ThumbLength() const;
    double AlongLength() const { return orientation_ == Qt::Vertical ? BodyRect().height() : BodyRect().width(); }
    double CrossLength() const { return orientation_ == Qt::Vertical ? BodyRect().width() : BodyRect().height(); }
    // Distance of a point from the minimum end, along the track.
    double Along(const QPointF& point) const;
    double ValueToAlong(double value) const;
    double AlongToValue(double along) const;
    void PaintTrack(QPainter& painter) const;
    void PaintMeter(QPainter& painter) const;

    Qt::Orientation orientation_;
    double minimum_ = 0.0;
    double maximum_ = 1.0;
    double value_ = 0.0;
    std::optional<double> neutral_;
    double step_ = 0.0;
    QColor pointerColour_;
    QColor secondColour_;
    double secondValue_ = 0.0;
    bool secondVisible_ = false;
    int ticks_ = 0;
    QString caption_;
    bool meter_ = false;
    bool dragging_ = false;
    double dragOffset_ = 0.0;
    bool notifying_ = false;
};
