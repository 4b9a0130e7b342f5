#include "platform/sound/fx/Distortion.h"

namespace platform::sound::fx {

Distortion::Distortion() = default;

bool Distortion::Limit(DistortionParameters& p) const noexcept {
    bool limited = false;
    limited |= LimitTo(p.fGain, -60.0f, 0.0f);
    limited |= LimitTo(p.fEdge, 0.0f, 100.0f);
    limited |= LimitTo(p.fPostEQCenterFrequency, 100.0f, 8000.0f);
    limited |= LimitTo(p.fPostEQBandwidth, 100.0f, 8000.0f);
    limited |= LimitTo(p.fPreLowpassCutoff, 100.0f, 8000.0f);
    return limited;
}

void Distortion::Prepare(int, int) {}

void Distortion::Reset() noexcept {}

void Distortion::Process(float*, int) noexcept {}

}  // namespace platform::sound::fx
