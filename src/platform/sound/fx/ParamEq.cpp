#include "platform/sound/fx/ParamEq.h"

namespace platform::sound::fx {

ParamEq::ParamEq() = default;

bool ParamEq::Limit(ParamEqParameters& p) const noexcept {
    bool limited = false;
    limited |= LimitTo(p.fCenter, 80.0f, 16000.0f);
    limited |= LimitTo(p.fBandwidth, 1.0f, 36.0f);
    limited |= LimitTo(p.fGain, -15.0f, 15.0f);
    return limited;
}

void ParamEq::Prepare(int, int) {}

void ParamEq::Reset() noexcept {}

void ParamEq::Process(float*, int) noexcept {}

}  // namespace platform::sound::fx
