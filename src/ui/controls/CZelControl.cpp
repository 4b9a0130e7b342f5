#include "ui/controls/CZelControl.h"

#include <QConicalGradient>
#include <QEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QWheelEvent>

#include "ui/controls/ControlColours.h"

using namespace controlcolours;

CZelControl::CZelControl(QWidget* parent) : QWidget(parent) {}

void CZelControl::SetHelp(const QString& title, const QString& description, const QString& toolTip) {
    helpTitle_ = title;
    helpDescription_ = description;
    setToolTip(toolTip);
}

void CZelControl::mousePressEvent(QMouseEvent* event) {
    // Take the right press so that its release comes back here.
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CZelControl::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton && rect().contains(event->position().toPoint())) {
        event->accept();
        Reset();
        emit RightReleased();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void CZelControl::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::FontChange) update();
    QWidget::changeEvent(event);
}

QColor CZelControl::Shade(const QColor& colour) const {
    if (isEnabled()) return colour;
    const int grey = 50 + qGray(colour.rgb()) * 35 / 100;
    return QColor(grey, grey, grey, colour.alpha());
}

void CZelControl::PaintPanel(QPainter& painter, const QRectF& rect, qreal radius, bool sunken) const {
    QLinearGradient face(rect.topLeft(), rect.bottomLeft());
    if (sunken) {
        face.setColorAt(0.0, Shade(QColor(kPanelDeep)));
        face.setColorAt(1.0, Shade(QColor(kPanel)));
    } else {
        face.setColorAt(0.0, Shade(QColor(kPanelRaised)));
        face.setColorAt(1.0, Shade(QColor(kPanel).darker(115)));
    }
    painter.setPen(QPen(QColor(kBevelDark), 1.0));
    painter.setBrush(face);
    painter.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    // One bright edge: the top for a raised face, the bottom for a sunken one.
    QColor edge(kBevelLight);
    edge.setAlpha(sunken ? 90 : 140);
    painter.setPen(QPen(Shade(edge), 1.0));
    const qreal inset = radius * 0.6 + 1.5;
    const qreal y = sunken ? rect.bottom() - 1.5 : rect.top() + 1.5;
    painter.drawLine(QPointF(rect.left() + inset, y), QPointF(rect.right() - inset, y));
}

void CZelControl::PaintMetalDisc(QPainter& painter, const QPointF& centre, qreal radius) const {
    // Brushed metal seen from above: light bands at opposite angles.
    QConicalGradient grain(centre, 45.0);
    const QColor light = Shade(QColor(kMetalLight));
    const QColor mid = Shade(QColor(kMetalMid));
    const QColor dark = Shade(QColor(kMetalDark));
    grain.setColorAt(0.00, light);
    grain.setColorAt(0.12, mid);
    grain.setColorAt(0.25, dark);
    grain.setColorAt(0.38, mid);
    grain.setColorAt(0.50, light);
    grain.setColorAt(0.62, mid);
    grain.setColorAt(0.75, dark);
    grain.setColorAt(0.88, mid);
    grain.setColorAt(1.00, light);
    painter.setPen(QPen(QColor(kBevelDark), qMax(1.0, radius * 0.04)));
    painter.setBrush(grain);
    painter.drawEllipse(centre, radius, radius);
    // A soft dome shading over the grain.
    QRadialGradient dome(centre - QPointF(radius * 0.3, radius * 0.35), radius * 1.3);
    dome.setColorAt(0.0, QColor(255, 255, 255, 40));
    dome.setColorAt(0.6, QColor(255, 255, 255, 0));
    dome.setColorAt(1.0, QColor(0, 0, 0, 70));
    painter.setPen(Qt::NoPen);
    painter.setBrush(dome);
    painter.drawEllipse(centre, radius, radius);
}

void CZelControl::PaintMetalBar(QPainter& painter, const QRectF& rect) const {
    const bool upright = rect.height() >= rect.width();
    QLinearGradient sweep(rect.topLeft(), upright ? rect.topRight() : rect.bottomLeft());
    sweep.setColorAt(0.00, Shade(QColor(kMetalDark)));
    sweep.setColorAt(0.18, Shade(QColor(kMetalLight)));
    sweep.setColorAt(0.45, Shade(QColor(kMetalMid)));
    sweep.setColorAt(0.70, Shade(QColor(kMetalLight)));
    sweep.setColorAt(1.00, Shade(QColor(kMetalDark)));
    const qreal radius = qMin(rect.width(), rect.height()) * 0.18;
    painter.setPen(QPen(QColor(kBevelDark), 1.0));
    painter.setBrush(sweep);
    painter.drawRoundedRect(rect, radius, radius);
    // Fine grain lines along the brushing direction.
    painter.save();
    QPainterPath clip;
    clip.addRoundedRect(rect.adjusted(1, 1, -1, -1), radius, radius);
    painter.setClipPath(clip);
    painter.setPen(QPen(QColor(255, 255, 255, 28), 1.0));
    if (upright) {
        for (qreal x = rect.left() + 2.0; x < rect.right(); x += 2.0)
            painter.drawLine(QPointF(x, rect.top()), QPointF(x, rect.bottom()));
    } else {
        for (qreal y = rect.top() + 2.0; y < rect.bottom(); y += 2.0)
            painter.drawLine(QPointF(rect.left(), y), QPointF(rect.right(), y));
    }
    painter.restore();
}

void CZelControl::PaintGlow(QPainter& painter, const QPointF& centre, qreal radius,
                            const QColor& colour) const {
    QRadialGradient halo(centre, radius);
    QColor inner = colour;
    inner.setAlpha(150);
    QColor outer = colour;
    outer.setAlpha(0);
    halo.setColorAt(0.0, inner);
    halo.setColorAt(1.0, outer);
    painter.setPen(Qt::NoPen);
    painter.setBrush(halo);
    painter.drawEllipse(centre, radius, radius);
}

void CZelControl::FitFontToWidth(QPainter& painter, const QString& text, qreal width) {
    painter.setFont(FontToFit(painter.font(), text, width));
}

QFont CZelControl::FontToFit(QFont font, const QString& text, qreal width) {
    // Fonts from the layout may be sized in pixels or in points.
    const bool pixels = font.pixelSize() > 0;
    const qreal smallest = pixels ? 8.0 : 6.0;
    qreal size = pixels ? font.pixelSize() : (font.pointSizeF() > 0 ? font.pointSizeF() : 9.0);
    while (size > smallest && QFontMetricsF(font).horizontalAdvance(text) > width) {
        size -= pixels ? 1.0 : 0.5;
        if (pixels)
            font.setPixelSize(static_cast<int>(size));
        else
            font.setPointSizeF(size);
    }
    return font;
}

double CZelControl::WheelNotches(const QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    return (delta.y() != 0 ? delta.y() : delta.x()) / 120.0;
}

double CZelControl::ArrowSteps(const QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Right:
            return 1.0;
        case Qt::Key_Down:
        case Qt::Key_Left:
            return -1.0;
        default:
            return 0.0;
    }
}
