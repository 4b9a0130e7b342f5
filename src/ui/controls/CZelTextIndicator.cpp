#include "ui/controls/CZelTextIndicator.h"

#include <QPainter>

#include <algorithm>

#include "ui/controls/ControlColours.h"

using namespace controlcolours;

CZelTextIndicator::CZelTextIndicator(QWidget* parent)
    : CZelControl(parent), textColour_(kDisplayText), backgroundColour_(kDisplayBack) {
    setFocusPolicy(Qt::NoFocus);
}

void CZelTextIndicator::SetText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    update();
    emit TextChanged(text_);
}

void CZelTextIndicator::SetTextColour(const QColor& colour) {
    textColour_ = colour;
    update();
}

QSize CZelTextIndicator::sizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    return {std::max(60, metrics.horizontalAdvance(text_) + 16), metrics.height() + 10};
}

void CZelTextIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = PaintDisplay(painter);
    PaintGlowingText(painter, area, alignment_, text_, textColour_);
}

QRectF CZelTextIndicator::PaintDisplay(QPainter& painter) const {
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = std::min(4.0, box.height() * 0.2);
    // Rim, dark glass, and a faint reflection on the upper half.
    painter.setPen(QPen(QColor(kBevelDark), 1.0));
    painter.setBrush(QColor(kPanelDeep));
    painter.drawRoundedRect(box, radius, radius);
    const QRectF glass = box.adjusted(1.5, 1.5, -1.5, -1.5);
    QLinearGradient face(glass.topLeft(), glass.bottomLeft());
    face.setColorAt(0.0, Shade(backgroundColour_).darker(130));
    face.setColorAt(0.5, Shade(backgroundColour_));
    face.setColorAt(1.0, Shade(backgroundColour_).lighter(130));
    painter.setPen(Qt::NoPen);
    painter.setBrush(face);
    painter.drawRoundedRect(glass, radius * 0.7, radius * 0.7);
    QLinearGradient shine(glass.topLeft(), QPointF(glass.left(), glass.center().y()));
    shine.setColorAt(0.0, QColor(255, 255, 255, 22));
    shine.setColorAt(1.0, QColor(255, 255, 255, 0));
    painter.setBrush(shine);
    painter.drawRoundedRect(QRectF(glass.topLeft(), QSizeF(glass.width(), glass.height() / 2.0)),
                            radius * 0.7, radius * 0.7);
    return glass.adjusted(4.0, 0.0, -4.0, 0.0);
}

void CZelTextIndicator::PaintGlowingText(QPainter& painter, const QRectF& rect, Qt::Alignment alignment,
                                         const QString& text, const QColor& colour) const {
    const QColor shown = Shade(colour);
    QColor glow = shown;
    glow.setAlpha(60);
    painter.setPen(glow);
    for (const QPointF offset : {QPointF(-1, 0), QPointF(1, 0), QPointF(0, -1), QPointF(0, 1)})
        painter.drawText(rect.translated(offset), alignment, text);
    painter.setPen(shown);
    painter.drawText(rect, alignment, text);
}
