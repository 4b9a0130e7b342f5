#pragma once

#include <QColor>
#include <QString>

#include <optional>

#include "ui/controls/CZelRangedControl.h"

// A linear slide (fader) over a range of doubles, vertical with its minimum at
// the bottom or horizontal with its minimum on the left. The user drags the
// thumb, clicks the track to jump there, or steps it with the wheel and the
// arrow keys. A second pointer can mark another value (a cue mark, a pending
// track). As a meter it is read-only and shows a filled, segmented bar.
class CZelSlide : public CZelRangedControl {
    Q_OBJECT
public:
    explicit CZelSlide(Qt::Orientation orientation = Qt::Vertical, QWidget* parent = nullptr);

    Qt::Orientation Orientation() const { return orientation_; }

    void SetSecondPointerVisible(bool visible);
    bool IsSecondPointerVisible() const { return secondVisible_; }
    void SetSecondValue(double value);
    void SetSecondPointerColour(const QColor& colour);

    // The part of a horizontal slide's width its caption takes (0: as much as
    // the text needs), so that slides of one width line up their tracks.
    void SetCaptionShare(double share);

    // A meter ignores the mouse and the keys and shows a bar up to its value.
    void SetMeter(bool meter);

    // True between a left press on the slide and its release.
    bool IsDragging() const { return dragging_; }

    // The track: the slide less its caption.
    QRectF BodyRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void SecondValueChanged(double value);

protected:
    void RangeChanged() override;
    bool Adjustable() const override { return !meter_; }
    double PageSteps() const override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    double ThumbLength() const;
    double AlongLength() const {
        return orientation_ == Qt::Vertical ? BodyRect().height() : BodyRect().width();
    }
    double CrossLength() const {
        return orientation_ == Qt::Vertical ? BodyRect().width() : BodyRect().height();
    }
    // Distance of a point from the minimum end, along the track.
    double Along(const QPointF& point) const;
    double ValueToAlong(double value) const;
    double AlongToValue(double along) const;
    void PaintTrack(QPainter& painter) const;
    void PaintMeter(QPainter& painter) const;

    Qt::Orientation orientation_;
    QColor secondColour_;
    double secondValue_ = 0.0;
    double captionShare_ = 0.0;
    bool secondVisible_ = false;
    bool meter_ = false;
    bool dragging_ = false;
    double dragOffset_ = 0.0;
};
