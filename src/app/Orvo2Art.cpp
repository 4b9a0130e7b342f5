#include "app/Orvo2Art.h"

#include <QApplication>
#include <QConicalGradient>
#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "ui/controls/ControlColours.h"

namespace app {
namespace {

using namespace controlcolours;

// A golden rectangle, like the main window's own proportions.
constexpr int kSplashWidth = 405;
constexpr int kSplashHeight = 250;

// A record seen from above: black vinyl with a moving sheen, `grooves` rings
// of groove between the edge and the label, an orange label and the hole.
void DrawRecord(QPainter& painter, QPointF centre, qreal radius, int grooves) {
    painter.save();
    painter.setPen(Qt::NoPen);

    QRadialGradient vinyl(centre, radius);
    vinyl.setColorAt(0.0, QColor(0x1c, 0x1d, 0x21));
    vinyl.setColorAt(0.85, QColor(0x0e, 0x0f, 0x11));
    vinyl.setColorAt(1.0, QColor(0x03, 0x03, 0x04));
    painter.setBrush(vinyl);
    painter.drawEllipse(centre, radius, radius);

    // Light catching the grooves in two opposite wedges.
    QConicalGradient sheen(centre, 35.0);
    const QColor clear(255, 255, 255, 0);
    const QColor shine(255, 255, 255, 46);
    sheen.setColorAt(0.00, clear);
    sheen.setColorAt(0.10, shine);
    sheen.setColorAt(0.20, clear);
    sheen.setColorAt(0.50, clear);
    sheen.setColorAt(0.60, shine);
    sheen.setColorAt(0.70, clear);
    sheen.setColorAt(1.00, clear);
    painter.setBrush(sheen);
    painter.drawEllipse(centre, radius * 0.97, radius * 0.97);

    const qreal labelRadius = radius * 0.34;
    painter.setBrush(Qt::NoBrush);
    const qreal inner = labelRadius * 1.18;
    const qreal outer = radius * 0.95;
    for (int i = 0; i < grooves; ++i) {
        const qreal r = grooves == 1 ? outer : inner + (outer - inner) * i / (grooves - 1);
        // Every fourth ring is the wider, brighter gap between two tracks.
        const bool gap = i % 4 == 3;
        painter.setPen(
            QPen(QColor(255, 255, 255, gap ? 40 : 20), std::max(0.6, radius / (gap ? 70.0 : 140.0))));
        painter.drawEllipse(centre, r, r);
    }

    QRadialGradient label(centre - QPointF(labelRadius * 0.3, labelRadius * 0.3), labelRadius * 1.3);
    label.setColorAt(0.0, QColor(kPointer).lighter(125));
    label.setColorAt(1.0, QColor(kPointer).darker(160));
    painter.setPen(QPen(QColor(kBevelDark), std::max(0.5, radius / 100.0)));
    painter.setBrush(label);
    painter.drawEllipse(centre, labelRadius, labelRadius);
    if (radius >= 20.0) {
        painter.setPen(QPen(QColor(255, 255, 255, 70), std::max(0.5, radius / 160.0)));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(centre, labelRadius * 0.72, labelRadius * 0.72);
    }

    const qreal hole = std::max(0.8, radius * 0.045);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(kMetalLight));
    painter.drawEllipse(centre, hole, hole);
    painter.restore();
}

// The metal platter under the record, with its ring of strobe dots.
void DrawPlatter(QPainter& painter, QPointF centre, qreal radius) {
    painter.save();
    QRadialGradient metal(centre, radius);
    metal.setColorAt(0.90, QColor(kMetalDark));
    metal.setColorAt(0.96, QColor(kMetalMid));
    metal.setColorAt(1.00, QColor(kMetalDark).darker(150));
    painter.setPen(QPen(QColor(kBevelDark), 1.0));
    painter.setBrush(metal);
    painter.drawEllipse(centre, radius, radius);

    constexpr int kDots = 90;
    const qreal dotRadius = radius * 0.955;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(kMetalLight));
    for (int i = 0; i < kDots; ++i) {
        const double angle = 2.0 * std::numbers::pi * i / kDots;
        const QPointF dot(centre.x() + dotRadius * std::cos(angle), centre.y() + dotRadius * std::sin(angle));
        painter.drawEllipse(dot, 0.9, 0.9);
    }
    painter.restore();
}

// The tone arm: a pivot with its counterweight at `pivot`, the tube down to
// the headshell, whose stylus rests at `stylus`.
void DrawToneArm(QPainter& painter, QPointF pivot, QPointF stylus) {
    painter.save();
    const QPointF elbow(stylus.x() + 16.0, stylus.y() - 18.0);
    const QPointF back = pivot + (pivot - elbow) * 0.18;

    // Shadow first, a little below and to the right.
    QPen shadow(QColor(0, 0, 0, 110), 6.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(shadow);
    const QPointF offset(3.0, 4.0);
    painter.drawPolyline(QList<QPointF>{back + offset, pivot + offset, elbow + offset, stylus + offset});

    QPen tube(QColor(kMetalMid), 4.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(tube);
    painter.drawPolyline(QList<QPointF>{back, pivot, elbow, stylus});
    painter.setPen(QPen(QColor(kMetalLight), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(QList<QPointF>{pivot - QPointF(1.0, 0.0), elbow - QPointF(1.0, 0.0)});

    // Counterweight.
    painter.setPen(QPen(QColor(kBevelDark), 1.0));
    QLinearGradient weight(back - QPointF(8.0, 0.0), back + QPointF(8.0, 0.0));
    weight.setColorAt(0.0, QColor(kMetalDark));
    weight.setColorAt(0.5, QColor(kMetalLight));
    weight.setColorAt(1.0, QColor(kMetalDark));
    painter.setBrush(weight);
    painter.drawEllipse(back, 8.0, 8.0);

    // Pivot base.
    QRadialGradient base(pivot - QPointF(4.0, 4.0), 18.0);
    base.setColorAt(0.0, QColor(kMetalLight));
    base.setColorAt(1.0, QColor(kMetalDark));
    painter.setBrush(base);
    painter.drawEllipse(pivot, 13.0, 13.0);
    painter.setBrush(QColor(kPanelDeep));
    painter.drawEllipse(pivot, 5.0, 5.0);

    // Headshell: a small block turned along the last stretch of the arm.
    const QPointF along = stylus - elbow;
    const double degrees = std::atan2(along.y(), along.x()) * 180.0 / std::numbers::pi;
    painter.translate(stylus);
    painter.rotate(degrees);
    painter.setBrush(QColor(kMetalMid));
    painter.drawRoundedRect(QRectF(-6.0, -5.0, 14.0, 10.0), 2.0, 2.0);
    painter.setBrush(QColor(kPointer));
    painter.drawRect(QRectF(5.0, -2.0, 3.0, 4.0));
    painter.restore();
}

// The largest font no bigger than `pixelSize` in which `text` fits `width`.
QFont FittedFont(QFont font, int pixelSize, const QString& text, qreal width) {
    for (; pixelSize > 6; --pixelSize) {
        font.setPixelSize(pixelSize);
        if (QFontMetricsF(font).horizontalAdvance(text) <= width) break;
    }
    return font;
}

}  // namespace

QPixmap SplashBitmap() {
    QPixmap bitmap(kSplashWidth, kSplashHeight);
    if (bitmap.isNull()) return bitmap;
    bitmap.fill(QColor(kPanelDeep));

    QPainter painter(&bitmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient backdrop(0.0, 0.0, 0.0, kSplashHeight);
    backdrop.setColorAt(0.0, QColor(0x30, 0x34, 0x3a));
    backdrop.setColorAt(1.0, QColor(0x0b, 0x0c, 0x0f));
    painter.fillRect(bitmap.rect(), backdrop);

    // A cool glow behind the turntable.
    const QPointF centre(122.0, 125.0);
    QRadialGradient glow(centre, 150.0);
    glow.setColorAt(0.0, QColor(0x35, 0xd0, 0xff, 60));
    glow.setColorAt(1.0, QColor(0x35, 0xd0, 0xff, 0));
    painter.fillRect(bitmap.rect(), glow);

    // The turntable's shadow, then the platter, the record and the arm.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 90));
    painter.drawEllipse(centre + QPointF(4.0, 6.0), 106.0, 106.0);
    DrawPlatter(painter, centre, 106.0);
    DrawRecord(painter, centre, 96.0, 20);
    DrawToneArm(painter, QPointF(243.0, 36.0), QPointF(188.0, 186.0));

    // The name, an orange rule, the line under it and the version.
    const qreal textLeft = 262.0;
    const qreal textWidth = kSplashWidth - textLeft - 12.0;
    const QString name = QStringLiteral("Orvo 2");
    QFont font = QApplication::font();
    font.setBold(true);
    font = FittedFont(font, 46, name, textWidth);
    painter.setFont(font);
    QLinearGradient chrome(0.0, 70.0, 0.0, 112.0);
    chrome.setColorAt(0.0, QColor(kMetalLight));
    chrome.setColorAt(1.0, QColor(kMetalMid));
    painter.setPen(QPen(QBrush(chrome), 1.0));
    painter.drawText(QPointF(textLeft, 110.0), name);

    painter.setPen(QPen(QColor(kPointer), 2.0));
    painter.drawLine(QPointF(textLeft, 124.0), QPointF(textLeft + textWidth, 124.0));

    const QString subtitle = QStringLiteral("DJ Mixing");
    font.setBold(false);
    font = FittedFont(font, 20, subtitle, textWidth);
    painter.setFont(font);
    painter.setPen(QColor(kText));
    painter.drawText(QPointF(textLeft, 150.0), subtitle);

    const QString version = QStringLiteral("Version ") + QLatin1String(kVersionText);
    font = FittedFont(font, 11, version, textWidth);
    painter.setFont(font);
    painter.setPen(QColor(kTextDim));
    const QRectF versionBox(textLeft, kSplashHeight - 30.0, textWidth, 20.0);
    painter.drawText(versionBox, Qt::AlignRight | Qt::AlignVCenter, version);

    // A thin bevel, as the window has no frame of its own.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QColor(kBevelLight));
    painter.drawRect(bitmap.rect().adjusted(0, 0, -1, -1));
    return bitmap;
}

QIcon ApplicationIcon() {
    QIcon icon;
    for (int size : kIconSizes) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const int grooves = size >= 128 ? 12 : size >= 48 ? 6 : size >= 32 ? 3 : 1;
        DrawRecord(painter, QPointF(size / 2.0, size / 2.0), size / 2.0 - 0.5, grooves);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace app
