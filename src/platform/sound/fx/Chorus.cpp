#include "platform/sound/fx/Chorus.h"

namespace platform::sound::fx {

Chorus::Chorus() : SweptDelayEffect(20.0f) {}  // the longest fDelay

bool Chorus::Limit(ChorusParameters& p) const noexcept {
    bool limited = false;
    limited |= LimitTo(p.fWetDryMix, 0.0f, 100.0f);
    limited |= LimitTo(p.fDepth, 0.0f, 100.0f);
    limited |= LimitTo(p.fFeedback, -99.0f, 99.0f);
    limited |= LimitTo(p.fFrequency, 0.0f, 10.0f);
    limited |= LimitTo(p.lWaveform, 0, 1);
    limited |= LimitTo(p.fDelay, 0.0f, 20.0f);
    limited |= LimitTo(p.lPhase, 0, 4);
    return limited;
}

}  // namespace platform::sound::fx
