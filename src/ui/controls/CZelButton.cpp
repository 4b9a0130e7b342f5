#include "ui/controls/CZelButton.h"

#include <QFontMetricsF>

#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>

#include <algorithm>

#include "ui/controls/ControlColours.h"

using namespace controlcolours;

CZelButton::CZelButton(Kind kind, QWidget* parent)
    : CZelControl(parent), kind_(kind), glowColour_(kLedGreen) {
    setFocusPolicy(Qt::NoFocus);
}

void CZelButton::SetCaptions(const QString& off, const QString& on) {
    offCaption_ = off;
    onCaption_ = on;
    updateGeometry();
    update();
}

void CZelButton::SetShortCaption(const QString& caption) {
    shortCaption_ = caption;
    update();
}

void CZelButton::SetGlow(bool glow) {
    glow_ = glow;
    update();
}

void CZelButton::SetGlowColour(const QColor& colour) {
    glowColour_ = colour;
    update();
}

void CZelButton::SetValue(bool on) {
    ChangeValue(on, true);
}

void CZelButton::ChangeValue(bool on, bool always) {
    const bool changed = on != value_;
    value_ = on;
    if (changed) update();
    if (changed || (always && !notifying_)) {
        QScopedValueRollback<bool> guard(notifying_, true);
        emit ValueChanged(value_);
    }
}

QSize CZelButton::sizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    const int text = std::max(metrics.horizontalAdvance(offCaption_), metrics.horizontalAdvance(onCaption_));
    return {std::max(48, text + 20), metrics.height() + 18};
}

void CZelButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        CZelControl::mousePressEvent(event);
        return;
    }
    event->accept();
    pressModifiers_ = event->modifiers();
    held_ = true;
    inside_ = true;
    update();
    emit Pressed();
    if (kind_ == Kind::Push) ChangeValue(true, false);
}

void CZelButton::mouseMoveEvent(QMouseEvent* event) {
    if (!held_) {
        CZelControl::mouseMoveEvent(event);
        return;
    }
    const bool inside = rect().contains(event->position().toPoint());
    if (inside != inside_) {
        inside_ = inside;
        update();
    }
}

void CZelButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !held_) {
        CZelControl::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    const bool inside = rect().contains(event->position().toPoint());
    held_ = false;
    inside_ = false;
    update();
    if (kind_ == Kind::Push)
        ChangeValue(false, false);
    else if (inside)
        ChangeValue(!value_, false);
    emit Released();
    if (inside) emit Clicked();
}

void CZelButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(1.0, 1.0, -1.0, -1.0);
    const double radius = std::min(6.0, std::min(box.width(), box.height()) * 0.15);
    const bool down = (held_ && inside_) || value_;

    // Drop shadow of a raised button; a pressed one sits in its hole.
    if (!down) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 90));
        painter.drawRoundedRect(box.translated(0.0, 1.0), radius, radius);
    }
    PaintPanel(painter, box, radius, down);

    // Lamp strip along the top: lit while on, a dark lens while off.
    const bool lit = glow_ && value_ && isEnabled();
    if (glow_) {
        const double lampHeight = LampHeight(box);
        const QRectF lamp(box.center().x() - box.width() * 0.22, box.top() + lampHeight * 0.9,
                          box.width() * 0.44, lampHeight);
        if (lit) PaintGlow(painter, lamp.center(), lamp.width() * 0.75, glowColour_);
        QColor lens = lit ? glowColour_.lighter(130) : Shade(glowColour_).darker(420);
        painter.setPen(QPen(QColor(kBevelDark), 0.8));
        painter.setBrush(lens);
        painter.drawRoundedRect(lamp, lampHeight / 2.0, lampHeight / 2.0);
    }

    // Caption, pushed in a pixel while the button is down.
    QRectF textRect = CaptionRect();
    if (down) textRect.translate(0.0, 1.0);
    QColor text = lit ? glowColour_.lighter(150) : QColor(kText);
    painter.setPen(Shade(text));
    const CaptionFit fit = FitCaption(textRect.size());
    painter.setFont(fit.font);
    const QString& caption = fit.text;
    painter.drawText(textRect, Qt::AlignCenter, caption);
}

double CZelButton::LampHeight(const QRectF& box) {
    return std::clamp(box.height() * 0.1, 2.0, 5.0);
}

QRectF CZelButton::CaptionRect() const {
    // Below the lamp strip, if the button has one.
    const QRectF box = QRectF(rect()).adjusted(1.0, 1.0, -1.0, -1.0);
    const double top = glow_ ? box.top() + LampHeight(box) * 1.9 : box.top();
    return {box.left() + 2.0, top, box.width() - 4.0, box.bottom() - top};
}

CZelButton::CaptionFit CZelButton::FitCaption(QSizeF room) const {
    const CaptionFit fit = FitText(Caption(), room);
    if (shortCaption_.isEmpty() || Fits(fit, room)) return fit;
    return FitText(shortCaption_, room);
}

bool CZelButton::Fits(const CaptionFit& fit, QSizeF room) {
    const QFontMetricsF metrics(fit.font);
    const QStringList lines = fit.text.split(u'\n');
    for (const QString& line : lines)
        if (metrics.horizontalAdvance(line) > room.width()) return false;
    return lines.size() == 1 || lines.size() * metrics.height() <= room.height();
}

CZelButton::CaptionFit CZelButton::FitText(const QString& caption, QSizeF room) const {
    // One line if the caption fits at about its size; else two lines, broken
    // at the space nearest the middle, if that keeps the text larger.
    const QFont one = FontToFit(font(), caption, room.width());
    const qreal size = font().pixelSize() > 0 ? font().pixelSize() : font().pointSizeF();
    const qreal oneSize = one.pixelSize() > 0 ? one.pixelSize() : one.pointSizeF();
    const int split = caption.indexOf(u' ', caption.size() / 2);
    const int at = split >= 0 ? split : caption.lastIndexOf(u' ', caption.size() / 2);
    const bool oneFits = QFontMetricsF(one).horizontalAdvance(caption) <= room.width();
    if ((oneSize >= size * 0.9 && oneFits) || at < 0) return {one, caption};
    const QString left = caption.left(at), right = caption.mid(at + 1);
    QFont two = FontToFit(font(), left.size() > right.size() ? left : right, room.width());
    while (two.pointSizeF() > 6.0 && 2.0 * QFontMetricsF(two).height() > room.height())
        two.setPointSizeF(two.pointSizeF() - 0.5);
    const CaptionFit lines{two, left + u'\n' + right};
    // The larger text, unless only the two lines fit at all.
    if (two.pointSizeF() <= one.pointSizeF() && (oneFits || !Fits(lines, room))) return {one, caption};
    return lines;
}
