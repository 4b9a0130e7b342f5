#include "ui/controls/CZelLed.h"

#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QRadialGradient>

#include <algorithm>

#include "ui/controls/ControlColours.h"

using namespace controlcolours;

CZelLed::CZelLed(QWidget* parent)
    : CZelControl(parent), onColour_(kLedGreen), offColour_(QColor(kLedGreen).darker(500)) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_NoSystemBackground);
}

void CZelLed::SetOn(bool on) {
    if (on == on_) return;
    on_ = on;
    update();
    emit ValueChanged(on_);
}

void CZelLed::SetColours(const QColor& on, const QColor& off) {
    onColour_ = on;
    offColour_ = off;
    update();
}

void CZelLed::SetShape(Shape shape) {
    shape_ = shape;
    update();
}

void CZelLed::paintEvent(QPaintEvent*) {
    const qreal ratio = devicePixelRatioF();
    const QString key = QStringLiteral("zelled:%1x%2@%3:%4:%5:%6:%7")
                            .arg(width())
                            .arg(height())
                            .arg(ratio)
                            .arg(static_cast<int>(shape_))
                            .arg(on_ && isEnabled() ? onColour_.rgba() : 0u)
                            .arg(isEnabled() ? offColour_.rgba() : 1u)
                            .arg(on_ ? 1 : 0);
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = Render();
        QPixmapCache::insert(key, pixmap);
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, pixmap);
}

QPixmap CZelLed::Render() const {
    const qreal ratio = devicePixelRatioF();
    QPixmap pixmap(size() * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool lit = on_ && isEnabled();
    const QColor colour = Shade(lit ? onColour_ : offColour_);
    const QRectF cell(0, 0, width(), height());
    const QPointF centre = cell.center();

    if (shape_ == Shape::Round) {
        const double radius = std::min(cell.width(), cell.height()) / 2.0;
        const double lamp = radius * 0.62;
        if (lit) PaintGlow(painter, centre, radius, colour);
        // Bezel, lens, highlight.
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(kBevelDark));
        painter.drawEllipse(centre, lamp + std::max(1.0, radius * 0.1), lamp + std::max(1.0, radius * 0.1));
        QRadialGradient lens(centre, lamp);
        lens.setColorAt(0.0, lit ? colour.lighter(170) : colour.lighter(140));
        lens.setColorAt(0.7, colour);
        lens.setColorAt(1.0, colour.darker(160));
        painter.setBrush(lens);
        painter.drawEllipse(centre, lamp, lamp);
        painter.setBrush(QColor(255, 255, 255, lit ? 150 : 60));
        painter.drawEllipse(centre - QPointF(lamp * 0.32, lamp * 0.36), lamp * 0.28, lamp * 0.2);
    } else {
        const QRectF lamp = cell.adjusted(cell.width() * 0.12, cell.height() * 0.18, -cell.width() * 0.12,
                                          -cell.height() * 0.18);
        if (lit) {
            QColor halo = colour;
            halo.setAlpha(90);
            painter.setPen(Qt::NoPen);
            painter.setBrush(halo);
            const double spread = std::min(cell.width(), cell.height()) * 0.1;
            painter.drawRoundedRect(lamp.adjusted(-spread, -spread, spread, spread), 3.0, 3.0);
        }
        QLinearGradient lens(lamp.topLeft(), lamp.bottomLeft());
        lens.setColorAt(0.0, lit ? colour.lighter(150) : colour.lighter(120));
        lens.setColorAt(1.0, colour.darker(lit ? 120 : 140));
        painter.setPen(QPen(QColor(kBevelDark), 1.0));
        painter.setBrush(lens);
        painter.drawRoundedRect(lamp, 2.0, 2.0);
    }
    return pixmap;
}
