#include "platform/sound/fx/Echo.h"

namespace platform::sound::fx {

Echo::Echo() = default;

bool Echo::Limit(EchoParameters& p) const noexcept {
    bool limited = false;
    limited |= LimitTo(p.fWetDryMix, 0.0f, 100.0f);
    limited |= LimitTo(p.fFeedback, 0.0f, 100.0f);
    limited |= LimitTo(p.fLeftDelay, 1.0f, 2000.0f);
    limited |= LimitTo(p.fRightDelay, 1.0f, 2000.0f);
    limited |= LimitTo(p.lPanDelay, 0, 1);
    return limited;
}

void Echo::Prepare(int, int) {}

void Echo::Reset() noexcept {}

void Echo::Process(float*, int) noexcept {}

}  // namespace platform::sound::fx
