#pragma once

#include <memory>

#include "platform/sound/SoundEffect.h"

namespace platform::sound::fx {

// A new effect of a standard class at its defaults, or null for a class
// that is none of them. User-interface thread.
std::unique_ptr<SoundEffect> CreateEffect(const EffectClassId& classId);

}  // namespace platform::sound::fx
