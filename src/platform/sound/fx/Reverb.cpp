#include "platform/sound/fx/Reverb.h"

namespace platform::sound::fx {

Reverb::Reverb() = default;

bool Reverb::Limit(ReverbParameters& p) const noexcept {
    bool limited = false;
    limited |= LimitTo(p.fInGain, -96.0f, 0.0f);
    limited |= LimitTo(p.fReverbMix, -96.0f, 0.0f);
    limited |= LimitTo(p.fReverbTime, 0.001f, 3000.0f);
    limited |= LimitTo(p.fHighFreqRTRatio, 0.001f, 0.999f);
    return limited;
}

void Reverb::Prepare(int, int) {}

void Reverb::Reset() noexcept {}

void Reverb::Process(float*, int) noexcept {}

}  // namespace platform::sound::fx
