#pragma once

#include <QColor>
#include <QString>

#include "ui/controls/CZelControl.h"

// A recessed display showing a line of glowing text, such as a time or a
// tempo percentage.
class CZelTextIndicator : public CZelControl {
    Q_OBJECT
public:
    explicit CZelTextIndicator(QWidget* parent = nullptr);

    const QString& Text() const { return text_; }
    // Reports TextChanged only when the text changes.
    void SetText(const QString& text);

    void SetTextColour(const QColor& colour);
    QColor TextColour() const { return textColour_; }
    Qt::Alignment Alignment() const { return alignment_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {24, 14}; }

signals:
    void TextChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    // The recessed display face; returns the area left for text.
    QRectF PaintDisplay(QPainter& painter) const;
    // Text with a faint glow of its own colour.
    void PaintGlowingText(QPainter& painter, const QRectF& rect, Qt::Alignment alignment, const QString& text,
                          const QColor& colour) const;

private:
    QString text_;
    QColor textColour_;
    QColor backgroundColour_;
    Qt::Alignment alignment_ = Qt::AlignCenter;
};
