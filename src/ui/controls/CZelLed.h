#pragma once

#include <QColor>

#include "ui/controls/CZelControl.h"

// A lamp, lit or dark. Lamps come in dozens (turntable rings, level columns)
// and flip every block, so each look is drawn once into a shared pixmap
// cache and a repaint is a single copy.
class CZelLed : public CZelControl {
    Q_OBJECT
public:
    enum class Shape { Round, Bar };

    explicit CZelLed(QWidget* parent = nullptr);

    // Repaints and reports ValueChanged only when the state changes.
    void SetOn(bool on);
    bool IsOn() const { return on_; }

    void SetColours(const QColor& on, const QColor& off);
    // Round lamps by default; bars stack into level columns.
    void SetShape(Shape shape);
    Shape LedShape() const { return shape_; }

    QSize sizeHint() const override { return {16, 16}; }

signals:
    void ValueChanged(bool on);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap Render() const;

    bool on_ = false;
    QColor onColour_;
    QColor offColour_;
    Shape shape_ = Shape::Round;
};
