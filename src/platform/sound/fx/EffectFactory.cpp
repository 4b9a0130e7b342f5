#include "platform/sound/fx/EffectFactory.h"

#include "platform/sound/fx/Chorus.h"
#include "platform/sound/fx/Compressor.h"
#include "platform/sound/fx/Distortion.h"
#include "platform/sound/fx/Echo.h"
#include "platform/sound/fx/Flanger.h"
#include "platform/sound/fx/Gargle.h"
#include "platform/sound/fx/ParamEq.h"
#include "platform/sound/fx/Reverb.h"

namespace platform::sound::fx {

namespace {

template <typename Effect>
bool Make(const EffectClassId& classId, std::unique_ptr<SoundEffect>& made) {
    if (classId != Effect::kClassId) return false;
    made = std::make_unique<Effect>();
    return true;
}

}  // namespace

std::unique_ptr<SoundEffect> CreateEffect(const EffectClassId& classId) {
    std::unique_ptr<SoundEffect> made;
    Make<ParamEq>(classId, made) || Make<Chorus>(classId, made) || Make<Compressor>(classId, made) ||
        Make<Distortion>(classId, made) || Make<Echo>(classId, made) || Make<Flanger>(classId, made) ||
        Make<Gargle>(classId, made) || Make<Reverb>(classId, made);
    return made;
}

}  // namespace platform::sound::fx
