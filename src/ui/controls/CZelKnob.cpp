#include "ui/controls/CZelKnob.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "ui/controls/ControlColours.h"

using namespace controlcolours;

namespace {
constexpr double kBoundedStart = -135.0;  // the minimum's angle on a bounded knob
constexpr int kJogRidges = 36;

QPointF OnCircle(const QPointF& centre, double radius, double degrees) {
    const double radians = degrees * std::numbers::pi / 180.0;
    return {centre.x() + radius * std::sin(radians), centre.y() - radius * std::cos(radians)};
}
}  // namespace

CZelKnob::CZelKnob(QWidget* parent) : CZelRangedControl(10, parent) {}

void CZelKnob::SetWrapping(bool wrapping) {
    wrapping_ = wrapping;
    RefitValue();
    update();
}

double CZelKnob::PointerAngle() const {
    const double span = Maximum() - Minimum();
    const double fraction = span != 0.0 ? (Value() - Minimum()) / span : 0.0;
    return wrapping_ ? fraction * 360.0 : kBoundedStart + fraction * 270.0;
}

double CZelKnob::Fit(double value) const {
    const double low = std::min(Minimum(), Maximum());
    const double high = std::max(Minimum(), Maximum());
    if (!wrapping_ || high <= low) return std::clamp(value, low, high);
    double offset = std::fmod(value - low, high - low);
    if (offset < 0.0) offset += high - low;
    const double wrapped = low + offset;
    return wrapped >= high ? low : wrapped;  // the maximum is the minimum's place
}

QRectF CZelKnob::DialRect() const {
    QRectF area = rect();
    if (!Caption().isEmpty()) area.setBottom(area.bottom() - fontMetrics().height() - 2);
    const double side = std::min(area.width(), area.height());
    return {area.center().x() - side / 2.0, area.center().y() - side / 2.0, side, side};
}

std::optional<double> CZelKnob::MouseAngle(const QPointF& point) const {
    const QRectF dial = DialRect();
    const QPointF d = point - dial.center();
    if (std::hypot(d.x(), d.y()) < std::max(3.0, dial.width() * 0.04)) return std::nullopt;
    return std::atan2(d.x(), -d.y()) * 180.0 / std::numbers::pi;
}

void CZelKnob::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        CZelControl::mousePressEvent(event);
        return;
    }
    event->accept();
    dragging_ = true;
    lastAngle_ = MouseAngle(event->position());
    emit Pressed();
}

void CZelKnob::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) {
        CZelControl::mouseMoveEvent(event);
        return;
    }
    event->accept();
    const std::optional<double> angle = MouseAngle(event->position());
    if (!angle) return;
    if (lastAngle_) {
        // The turn since the last event, taking the short way round.
        double delta = std::remainder(*angle - *lastAngle_, 360.0);
        if (delta == -180.0) delta = 180.0;
        ChangeValue(Value() + delta / Sweep() * (Maximum() - Minimum()), false);
    }
    lastAngle_ = angle;
}

void CZelKnob::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && dragging_) {
        event->accept();
        dragging_ = false;
        lastAngle_.reset();
        emit Released();
        return;
    }
    CZelControl::mouseReleaseEvent(event);
}

void CZelKnob::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!wrapping_) {
        PaintDial(painter);
        return;
    }
    // The turntable lamps round a jog dial light in turn as the deck plays,
    // and each repaints the dial under it: the dial is drawn once for what it
    // shows and copied from then on.
    const JogLook look{size(),      devicePixelRatioF(),    PointerAngle(), Caption(),
                       isEnabled(), PointerColour().rgba(), font()};
    if (jogLook_ != look) {
        jogPicture_ = QPixmap(size() * look.ratio);
        jogPicture_.setDevicePixelRatio(look.ratio);
        jogPicture_.fill(Qt::transparent);
        QPainter picture(&jogPicture_);
        picture.setFont(font());
        PaintDial(picture);
        jogLook_ = look;
    }
    painter.drawPixmap(0, 0, jogPicture_);
}

void CZelKnob::PaintDial(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF dial = DialRect();
    if (!Caption().isEmpty()) {
        painter.setPen(Shade(QColor(kText)));
        FitFontToWidth(painter, Caption(), width());
        painter.drawText(QRectF(0, dial.bottom() + 2, width(), height() - dial.bottom() - 2),
                         Qt::AlignHCenter | Qt::AlignTop, Caption());
    }
    const double radius = dial.width() / 2.0 - 1.0;
    if (radius < 4.0) return;
    if (wrapping_)
        PaintJog(painter, dial.center(), radius);
    else
        PaintBounded(painter, dial.center(), radius);
}

void CZelKnob::PaintBounded(QPainter& painter, const QPointF& centre, double radius) const {
    // Scale round the knob.
    if (Ticks() > 0) {
        painter.setPen(
            QPen(Shade(QColor(kTick)), std::max(1.0, radius * 0.025), Qt::SolidLine, Qt::RoundCap));
        for (int i = 0; i <= Ticks(); ++i) {
            const double angle = kBoundedStart + 270.0 * i / Ticks();
            const bool major = i == 0 || i == Ticks() || 2 * i == Ticks();
            painter.drawLine(OnCircle(centre, radius * (major ? 0.86 : 0.9), angle),
                             OnCircle(centre, radius, angle));
        }
    }
    // Value arc: dark track, lit from the neutral value (or the minimum) to the value.
    const double ring = radius * 0.78;
    const QRectF arcRect(centre.x() - ring, centre.y() - ring, 2.0 * ring, 2.0 * ring);
    const double arcWidth = std::max(2.0, radius * 0.07);
    painter.setPen(QPen(Shade(QColor(kPanelDeep)), arcWidth, Qt::SolidLine, Qt::FlatCap));
    painter.drawArc(arcRect, static_cast<int>((90.0 - kBoundedStart) * 16.0), -270 * 16);
    const double span = Maximum() - Minimum();
    const double base = NeutralValue().value_or(Minimum());
    const double baseAngle = kBoundedStart + (span != 0.0 ? (base - Minimum()) / span : 0.0) * 270.0;
    const double angle = PointerAngle();
    QColor lit = Shade(PointerColour());
    lit.setAlpha(200);
    painter.setPen(QPen(lit, arcWidth, Qt::SolidLine, Qt::FlatCap));
    painter.drawArc(arcRect, static_cast<int>((90.0 - baseAngle) * 16.0),
                    static_cast<int>(-(angle - baseAngle) * 16.0));

    // Cap with its shadow, then the pointer.
    const double cap = radius * 0.64;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 120));
    painter.drawEllipse(centre + QPointF(radius * 0.03, radius * 0.06), cap * 1.04, cap * 1.04);
    PaintMetalDisc(painter, centre, cap);
    const QColor pointer = Shade(PointerColour());
    QColor halo = pointer;
    halo.setAlpha(90);
    const double line = std::max(2.0, radius * 0.07);
    const QPointF inner = OnCircle(centre, cap * 0.3, angle);
    const QPointF outer = OnCircle(centre, cap * 0.88, angle);
    painter.setPen(QPen(halo, line * 2.2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(inner, outer);
    painter.setPen(QPen(pointer, line, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(inner, outer);
}

void CZelKnob::PaintJog(QPainter& painter, const QPointF& centre, double radius) const {
    const double angle = PointerAngle();
    // Rubber rim with ridges that turn with the dial.
    QRadialGradient rubber(centre, radius);
    rubber.setColorAt(0.75, Shade(QColor(0x2a, 0x2d, 0x31)));
    rubber.setColorAt(1.0, Shade(QColor(0x0e, 0x0f, 0x11)));
    painter.setPen(QPen(QColor(kBevelDark), 1.0));
    painter.setBrush(rubber);
    painter.drawEllipse(centre, radius, radius);
    painter.setPen(
        QPen(Shade(QColor(0x45, 0x4a, 0x51)), std::max(1.0, radius * 0.025), Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < kJogRidges; ++i) {
        const double a = angle + 360.0 * i / kJogRidges;
        painter.drawLine(OnCircle(centre, radius * 0.86, a), OnCircle(centre, radius * 0.96, a));
    }
    // Platter, centre hub and the pointer dot.
    PaintMetalDisc(painter, centre, radius * 0.8);
    painter.setPen(QPen(QColor(0, 0, 0, 80), std::max(1.0, radius * 0.02)));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, radius * 0.32, radius * 0.32);
    QRadialGradient hub(centre - QPointF(radius * 0.05, radius * 0.05), radius * 0.22);
    hub.setColorAt(0.0, Shade(QColor(0x50, 0x55, 0x5c)));
    hub.setColorAt(1.0, Shade(QColor(0x1a, 0x1c, 0x1f)));
    painter.setPen(QPen(QColor(kBevelDark), 1.0));
    painter.setBrush(hub);
    painter.drawEllipse(centre, radius * 0.2, radius * 0.2);
    const QColor pointer = Shade(PointerColour());
    const QPointF dot = OnCircle(centre, radius * 0.66, angle);
    const double dotRadius = std::max(2.5, radius * 0.065);
    PaintGlow(painter, dot, dotRadius * 2.6, pointer);
    painter.setPen(QPen(QColor(kBevelDark), 1.0));
    painter.setBrush(pointer);
    painter.drawEllipse(dot, dotRadius, dotRadius);
}
