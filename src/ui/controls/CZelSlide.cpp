#include "ui/controls/CZelSlide.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "ui/controls/ControlColours.h"

using namespace controlcolours;

namespace {
constexpr double kPageSteps = 10.0;
}  // namespace

CZelSlide::CZelSlide(Qt::Orientation orientation, QWidget* parent)
    : CZelRangedControl(0, parent), orientation_(orientation), secondColour_(kSecondPointer) {
    setSizePolicy(orientation == Qt::Vertical ? QSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding)
                                              : QSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed));
}

void CZelSlide::RangeChanged() {
    secondValue_ = Clamp(secondValue_);
}

double CZelSlide::PageSteps() const {
    return kPageSteps;
}

void CZelSlide::SetSecondPointerVisible(bool visible) {
    secondVisible_ = visible;
    update();
}

void CZelSlide::SetSecondValue(double value) {
    secondValue_ = Clamp(value);
    update();
    emit SecondValueChanged(secondValue_);
}

void CZelSlide::SetSecondPointerColour(const QColor& colour) {
    secondColour_ = colour;
    update();
}

void CZelSlide::SetMeter(bool meter) {
    meter_ = meter;
    dragging_ = false;
    setFocusPolicy(meter ? Qt::NoFocus : Qt::StrongFocus);
    update();
}

QSize CZelSlide::sizeHint() const {
    return orientation_ == Qt::Vertical ? QSize(44, 180) : QSize(180, 44);
}

QSize CZelSlide::minimumSizeHint() const {
    return orientation_ == Qt::Vertical ? QSize(12, 40) : QSize(40, 12);
}

void CZelSlide::SetCaptionShare(double share) {
    captionShare_ = std::clamp(share, 0.0, 0.5);
    update();
}

QRectF CZelSlide::BodyRect() const {
    QRectF body = rect();
    if (Caption().isEmpty()) return body;
    const QFontMetrics metrics = fontMetrics();
    if (orientation_ == Qt::Vertical)
        body.setBottom(body.bottom() - metrics.height() - 2);
    else
        body.setLeft(body.left() +
                     std::max(metrics.horizontalAdvance(Caption()) + 6.0, width() * captionShare_));
    return body;
}

double CZelSlide::ThumbLength() const {
    const double length = std::clamp(CrossLength() * 0.5, 8.0, 32.0);
    return std::max(4.0, std::min(length, AlongLength() / 3.0));
}

double CZelSlide::Along(const QPointF& point) const {
    const QRectF body = BodyRect();
    return orientation_ == Qt::Vertical ? body.bottom() - point.y() : point.x() - body.left();
}

double CZelSlide::ValueToAlong(double value) const {
    const double thumb = ThumbLength();
    const double travel = AlongLength() - thumb;
    const double span = Maximum() - Minimum();
    const double fraction = span != 0.0 ? (Clamp(value) - Minimum()) / span : 0.0;
    return thumb / 2.0 + fraction * std::max(0.0, travel);
}

double CZelSlide::AlongToValue(double along) const {
    const double thumb = ThumbLength();
    const double travel = AlongLength() - thumb;
    const double fraction = travel > 0.0 ? std::clamp((along - thumb / 2.0) / travel, 0.0, 1.0) : 0.0;
    return Minimum() + fraction * (Maximum() - Minimum());
}

void CZelSlide::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || meter_) {
        CZelControl::mousePressEvent(event);
        return;
    }
    event->accept();
    const double along = Along(event->position());
    const double thumbCentre = ValueToAlong(Value());
    const bool onThumb = std::abs(along - thumbCentre) <= ThumbLength() / 2.0;
    // Grabbing the thumb keeps it where it is under the mouse; a click on
    // the track jumps the thumb there first.
    dragOffset_ = onThumb ? thumbCentre - along : 0.0;
    dragging_ = true;
    emit Pressed();
    if (!onThumb) ChangeValue(AlongToValue(along), false);
}

void CZelSlide::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) {
        CZelControl::mouseMoveEvent(event);
        return;
    }
    event->accept();
    ChangeValue(AlongToValue(Along(event->position()) + dragOffset_), false);
}

void CZelSlide::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && dragging_) {
        event->accept();
        dragging_ = false;
        emit Released();
        return;
    }
    CZelControl::mouseReleaseEvent(event);
}

void CZelSlide::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF body = BodyRect();
    if (!Caption().isEmpty()) {
        painter.setPen(Shade(QColor(kText)));
        FitFontToWidth(painter, Caption(), orientation_ == Qt::Vertical ? width() : body.left() - 4);
        if (orientation_ == Qt::Vertical)
            painter.drawText(QRectF(0, body.bottom() + 2, width(), height() - body.bottom() - 2),
                             Qt::AlignHCenter | Qt::AlignTop, Caption());
        else
            painter.drawText(QRectF(0, 0, body.left() - 4, height()), Qt::AlignRight | Qt::AlignVCenter,
                             Caption());
    }
    // Paint as a vertical slide in its own frame: x across the track, y down
    // from the maximum end; a horizontal slide is the same turned a quarter.
    if (orientation_ == Qt::Vertical) {
        painter.translate(body.topLeft());
    } else {
        painter.translate(body.left() + body.width(), body.top());
        painter.rotate(90.0);
    }
    if (meter_)
        PaintMeter(painter);
    else
        PaintTrack(painter);
}

void CZelSlide::PaintTrack(QPainter& painter) const {
    const double w = CrossLength();
    const double h = AlongLength();
    const double thumb = ThumbLength();
    const double mid = w / 2.0;
    const double groove = std::clamp(w * 0.14, 4.0, 9.0);
    auto yOf = [&](double value) { return h - ValueToAlong(value); };

    // The slot.
    const QRectF slot(mid - groove / 2.0, thumb / 2.0 - 3.0, groove, h - thumb + 6.0);
    painter.setPen(QPen(QColor(kBevelDark), 1.0));
    painter.setBrush(Shade(QColor(kPanelDeep)));
    painter.drawRoundedRect(slot, groove / 2.0, groove / 2.0);
    // Lit part of the slot, from the neutral value (or the minimum) to the value.
    const double base = NeutralValue().value_or(Minimum());
    const double y0 = yOf(base);
    const double y1 = yOf(Value());
    QColor lit = Shade(PointerColour());
    lit.setAlpha(150);
    painter.setPen(Qt::NoPen);
    painter.setBrush(lit);
    painter.drawRoundedRect(
        QRectF(mid - groove / 2.0 + 1.5, std::min(y0, y1), groove - 3.0, std::abs(y1 - y0)), 1.5, 1.5);

    // Scale on both sides of the slot.
    if (Ticks() > 0) {
        const double length = std::max(3.0, w * 0.12);
        const double gap = groove / 2.0 + 3.0;
        painter.setPen(QPen(Shade(QColor(kTick)), 1.0));
        for (int i = 0; i <= Ticks(); ++i) {
            const double y = h - (thumb / 2.0 + (h - thumb) * i / Ticks());
            const bool major = i == 0 || i == Ticks() || 2 * i == Ticks();
            const double l = major ? length * 1.7 : length;
            painter.drawLine(QPointF(mid - gap, y), QPointF(mid - gap - l, y));
            painter.drawLine(QPointF(mid + gap, y), QPointF(mid + gap + l, y));
        }
    }

    // Second pointer: a coloured arrow on the left of the slot and a line across it.
    if (secondVisible_) {
        const double y = yOf(secondValue_);
        const double size = std::clamp(w * 0.2, 5.0, 10.0);
        const double tip = mid - groove / 2.0 - 1.0;
        const QColor colour = Shade(secondColour_);
        painter.setPen(QPen(colour, 2.0));
        painter.drawLine(QPointF(tip, y), QPointF(mid + groove / 2.0 + 1.0, y));
        QPainterPath arrow;
        arrow.moveTo(tip, y);
        arrow.lineTo(tip - size, y - size * 0.6);
        arrow.lineTo(tip - size, y + size * 0.6);
        arrow.closeSubpath();
        painter.setPen(QPen(QColor(kBevelDark), 1.0));
        painter.setBrush(colour);
        painter.drawPath(arrow);
    }

    // The thumb: brushed metal with the coloured pointer line across it.
    const double y = yOf(Value());
    const QRectF cap(w * 0.08, y - thumb / 2.0, w * 0.84, thumb);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 110));
    painter.drawRoundedRect(cap.translated(1.5, 2.0), 3.0, 3.0);
    PaintMetalBar(painter, cap);
    painter.setPen(QPen(QColor(0, 0, 0, 90), 1.0));
    for (double offset : {-0.3, 0.3}) {
        const double gy = y + thumb * offset;
        painter.drawLine(QPointF(cap.left() + 3.0, gy), QPointF(cap.right() - 3.0, gy));
    }
    const QColor pointer = Shade(PointerColour());
    QColor halo = pointer;
    halo.setAlpha(90);
    const double line = std::max(2.0, thumb * 0.14);
    painter.setPen(QPen(halo, line * 2.2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(cap.left() + 3.0, y), QPointF(cap.right() - 3.0, y));
    painter.setPen(QPen(pointer, line, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(cap.left() + 3.0, y), QPointF(cap.right() - 3.0, y));
}

void CZelSlide::PaintMeter(QPainter& painter) const {
    const double w = CrossLength();
    const double h = AlongLength();
    PaintPanel(painter, QRectF(0, 0, w, h), 2.0, true);
    const double span = Maximum() - Minimum();
    const double fraction = span != 0.0 ? (Value() - Minimum()) / span : 0.0;
    const double inner = h - 6.0;
    const double pitch = std::clamp(inner / 25.0, 4.0, 8.0);
    const int segments = std::max(1, static_cast<int>(inner / pitch));
    const double gap = pitch > 5.0 ? 1.5 : 1.0;
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < segments; ++i) {
        const double position = (i + 0.5) / segments;
        QColor colour(position < 0.6 ? kLedGreen : position < 0.85 ? kLedAmber : kLedRed);
        colour = Shade(colour);
        if (position > fraction) colour.setAlpha(38);
        const double bottom = h - 3.0 - i * (inner / segments);
        painter.setBrush(colour);
        painter.drawRect(QRectF(3.0, bottom - inner / segments + gap, w - 6.0, inner / segments - gap));
    }
}
