#include "platform/sound/fx/Gargle.h"

namespace platform::sound::fx {

Gargle::Gargle() = default;

bool Gargle::Limit(GargleParameters& p) const noexcept {
    bool limited = false;
    limited |= LimitTo(p.dwRateHz, 1u, 1000u);
    limited |= LimitTo(p.dwWaveShape, 0u, 1u);
    return limited;
}

void Gargle::Prepare(int, int) {}

void Gargle::Reset() noexcept {}

void Gargle::Process(float*, int) noexcept {}

}  // namespace platform::sound::fx
