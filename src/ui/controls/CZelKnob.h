#pragma once

#include <QColor>
#include <QString>

#include <optional>

#include "ui/controls/CZelControl.h"

// A rotary knob over a range of doubles, turned by dragging round its centre,
// by the wheel or by the arrow keys. Bounded, it sweeps 270 degrees between
// end stops. Wrapping, it is a jog dial: one turn spans the range and turning
// on past the maximum starts again at the minimum (and the other way), so the
// owner sees a jump of almost the whole range where the dial crossed its end.
class CZelKnob : public CZelControl {
    Q_OBJECT
public:
    explicit CZelKnob(QWidget* parent = nullptr);

    void SetRange(double minimum, double maximum);
    double Minimum() const { return minimum_; }
    double Maximum() const { return maximum_; }

    double Value() const { return value_; }
    // Always reports ValueChanged, also for an unchanged value.
    void SetValue(double value);

    void SetNeutralValue(double value) { neutral_ = value; update(); }
    void ClearNeutralValue() { neutral_.reset(); update(); }
    std::optional<double> NeutralValue() const { return neutral_; }

    void SetWrapping(bool wrapping);
    bool IsWrapping() const { return wrapping_; }

    // Wheel notch and arrow key step; a hundredth of the range unless set.
    void SetStep(double step) { step_ = step; }
    double Step() const;

    void SetPointerColour(const QColor& colour);
    QColor PointerColour() const { return pointerColour_; }
    // Scale divisions round a bounded knob (0: none).
    void SetTicks(int divisions);
    int Ticks() const { return ticks_; }
    void SetCaption(const QString& caption);
    const QString& Caption() const { return caption_; }

    bool IsDragging() const { return dragging_; }
    // Angle of the pointer in degrees, clockwise from twelve o'clock.
    double PointerAngle() const;

    QSize sizeHint() const override { return {90, 90}; }
    QSize minimumSizeHint() const override { return {24, 24}; }

signals:
    void ValueChanged(double value);
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
    void ChangeValue(double value, bool always);
    // Into the range: clamped, or wrapped round for a jog dial.
    double Fit(double value) const;
    double Sweep() const { return wrapping_ ? 360.0 : 270.0; }
    QRectF DialRect() const;
    // Mouse angle round the centre; nothing when too close to the centre to tell.
    std::optional<double> MouseAngle(const QPointF& point) const;
    void PaintBounded(QPainter& painter, const QPointF& centre, double radius) const;
    void PaintJog(QPainter& painter, const QPointF& centre, double radius) const;

    double minimum_ = 0.0;
    double maximum_ = 1.0;
    double value_ = 0.0;
    std::optional<double> neutral_;
    bool wrapping_ = false;
    double step_ = 0.0;
    QColor pointerColour_;
    int ticks_ = 10;
    QString caption_;
    bool dragging_ = false;
    std::optional<double> lastAngle_;
    bool notifying_ = false;
};
