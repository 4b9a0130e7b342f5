#include "analysis/CZelLevelMeter.h"

#include <algorithm>
#include <cmath>

#include "ui/controls/CZelLed.h"

void CZelLevelMeter::Init(int ledCount, std::span<CZelLed* const> leds, double bottomLevel, double topLevel) {
    const size_t count = std::min(static_cast<size_t>(std::max(ledCount, 0)), leds.size());
    leds_.assign(leds.begin(), leds.begin() + static_cast<std::ptrdiff_t>(count));
    bottom_ = bottomLevel;
    top_ = topLevel;
    lit_ = 0;
    Clear();
}

void CZelLevelMeter::Show(double level) {
    const int count = LedCount();
    if (count == 0 || !(top_ > bottom_)) return;
    double fraction = (level - bottom_) / (top_ - bottom_);
    if (!(fraction > 0.0)) fraction = 0.0;  // NaN too
    fraction = std::min(fraction, 1.0);
    const int target = std::clamp(static_cast<int>(std::trunc(count * fraction)), 0, count);
    for (int step = 0; step < kMaxStep; ++step) {
        if (target < lit_) {
            SetLamp(--lit_, false);
        } else if (target > lit_) {
            SetLamp(lit_++, true);
        }
    }
}

void CZelLevelMeter::Clear() {
    for (int index = 0; index < LedCount(); ++index) SetLamp(index, false);
    lit_ = 0;
}

void CZelLevelMeter::SetLamp(int index, bool on) {
    if (CZelLed* led = leds_[index]) led->SetOn(on);
}
