#include "ui/controls/CZelRangedControl.h"

#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "ui/controls/ControlColours.h"

namespace {
constexpr double kDefaultStepsPerRange = 100.0;
}  // namespace

CZelRangedControl::CZelRangedControl(int ticks, QWidget* parent)
    : CZelControl(parent), pointerColour_(controlcolours::kPointer), ticks_(ticks) {
    setFocusPolicy(Qt::StrongFocus);
}

void CZelRangedControl::SetRange(double minimum, double maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
    RefitValue();
    RangeChanged();
    update();
}

void CZelRangedControl::SetValue(double value) {
    ChangeValue(value, true);
}

double CZelRangedControl::Step() const {
    return step_ > 0.0 ? step_ : std::abs(maximum_ - minimum_) / kDefaultStepsPerRange;
}

void CZelRangedControl::SetPointerColour(const QColor& colour) {
    pointerColour_ = colour;
    update();
}

void CZelRangedControl::SetTicks(int divisions) {
    ticks_ = std::max(0, divisions);
    update();
}

void CZelRangedControl::SetCaption(const QString& caption) {
    caption_ = caption;
    update();
}

void CZelRangedControl::ChangeValue(double value, bool always) {
    const double fitted = Fit(value);
    const bool changed = fitted != value_;
    value_ = fitted;
    if (changed) update();
    // An owner that sets the same value again from inside its handler does
    // not start an endless round of notifications.
    if (changed || (always && !notifying_)) {
        QScopedValueRollback<bool> guard(notifying_, true);
        emit ValueChanged(value_);
    }
}

double CZelRangedControl::Clamp(double value) const {
    return std::clamp(value, std::min(minimum_, maximum_), std::max(minimum_, maximum_));
}

void CZelRangedControl::RefitValue() {
    if (Fit(value_) != value_) ChangeValue(value_, false);
}

void CZelRangedControl::Reset() {
    if (neutral_ && Adjustable()) ChangeValue(*neutral_, true);
}

void CZelRangedControl::wheelEvent(QWheelEvent* event) {
    if (!Adjustable()) {
        event->ignore();
        return;
    }
    ChangeValue(value_ + WheelNotches(event) * Step(), false);
    event->accept();
}

void CZelRangedControl::keyPressEvent(QKeyEvent* event) {
    // Only the arrows: the other keys belong to the window's shortcuts.
    double steps = ArrowSteps(event);
    if (steps == 0.0 || !Adjustable()) {
        CZelControl::keyPressEvent(event);
        return;
    }
    if (event->modifiers() & Qt::ShiftModifier) steps *= PageSteps();
    ChangeValue(value_ + steps * Step(), false);
    event->accept();
}
