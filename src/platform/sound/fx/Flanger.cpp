#include "platform/sound/fx/Flanger.h"

namespace platform::sound::fx {

Flanger::Flanger() = default;

bool Flanger::Limit(FlangerParameters& p) const noexcept {
    bool limited = false;
    limited |= LimitTo(p.fWetDryMix, 0.0f, 100.0f);
    limited |= LimitTo(p.fDepth, 0.0f, 100.0f);
    limited |= LimitTo(p.fFeedback, -99.0f, 99.0f);
    limited |= LimitTo(p.fFrequency, 0.0f, 10.0f);
    limited |= LimitTo(p.lWaveform, 0, 1);
    limited |= LimitTo(p.fDelay, 0.0f, 4.0f);
    limited |= LimitTo(p.lPhase, 0, 4);
    return limited;
}

void Flanger::Prepare(int, int) {}

void Flanger::Reset() noexcept {}

void Flanger::Process(float*, int) noexcept {}

}  // namespace platform::sound::fx
