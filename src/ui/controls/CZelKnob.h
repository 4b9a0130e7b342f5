#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QSize>
#include <QString>

#include <optional>

#include "ui/controls/CZelRangedControl.h"

// A rotary knob over a range of doubles, turned by dragging round its centre,
// by the wheel or by the arrow keys. Bounded, it sweeps 270 degrees between
// end stops. Wrapping, it is a jog dial: one turn spans the range and turning
// on past the maximum starts again at the minimum (and the other way), so the
// owner sees a jump of almost the whole range where the dial crossed its end.
class CZelKnob : public CZelRangedControl {
    Q_OBJECT
public:
    explicit CZelKnob(QWidget* parent = nullptr);

    void SetWrapping(bool wrapping);

    bool IsDragging() const { return dragging_; }
    // Angle of the pointer in degrees, clockwise from twelve o'clock.
    double PointerAngle() const;

    QSize sizeHint() const override { return {90, 90}; }
    QSize minimumSizeHint() const override { return {24, 24}; }

protected:
    // Into the range: clamped, or wrapped round for a jog dial.
    double Fit(double value) const override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    double Sweep() const { return wrapping_ ? 360.0 : 270.0; }
    QRectF DialRect() const;
    // Mouse angle round the centre; nothing when too close to the centre to tell.
    std::optional<double> MouseAngle(const QPointF& point) const;
    void PaintBounded(QPainter& painter, const QPointF& centre, double radius) const;
    void PaintJog(QPainter& painter, const QPointF& centre, double radius) const;

    // What a jog dial's picture shows; while it is the same the picture is
    // drawn again from the kept copy.
    struct JogLook {
        QSize size;
        qreal ratio = 0.0;
        double angle = 0.0;
        QString caption;
        bool enabled = false;
        QRgb pointer = 0;
        QFont font;
        bool operator==(const JogLook&) const = default;
    };
    void PaintDial(QPainter& painter);

    bool wrapping_ = false;
    bool dragging_ = false;
    std::optional<double> lastAngle_;
    std::optional<JogLook> jogLook_;
    QPixmap jogPicture_;
};
