#include "platform/sound/fx/Compressor.h"

namespace platform::sound::fx {

Compressor::Compressor() = default;

bool Compressor::Limit(CompressorParameters& p) const noexcept {
    bool limited = false;
    limited |= LimitTo(p.fGain, -60.0f, 60.0f);
    limited |= LimitTo(p.fAttack, 0.01f, 500.0f);
    limited |= LimitTo(p.fRelease, 50.0f, 3000.0f);
    limited |= LimitTo(p.fThreshold, -60.0f, 0.0f);
    limited |= LimitTo(p.fRatio, 1.0f, 100.0f);
    limited |= LimitTo(p.fPredelay, 0.0f, 4.0f);
    return limited;
}

void Compressor::Prepare(int, int) {}

void Compressor::Reset() noexcept {}

void Compressor::Process(float*, int) noexcept {}

}  // namespace platform::sound::fx
