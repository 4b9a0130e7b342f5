#include "output/DeckEffectChain.h"

#include <memory>

#include "dsp/DeckShaping.h"
#include "output/EffectSettings.h"
#include "platform/sound/SoundBuffer.h"
#include "platform/sound/fx/EffectFactory.h"

namespace output {

using namespace platform::sound;

namespace {

constexpr int kMaxChainBands = 12;

bool HasAny(const DeckEffectChain::Buffers& buffers) {
    return buffers[0].lock() || buffers[1].lock();
}

}  // namespace

int DeckEffectChain::Bands() const {
    if (!shaping_) return 0;
    return std::min(shaping_->Equalizer(deck_).NumberOfBands(), kMaxChainBands);
}

std::vector<EffectClassId> DeckEffectChain::ChainClasses() const {
    std::vector<EffectClassId> classes;
    if (equalizerOn_) classes.assign(static_cast<size_t>(Bands()), fx::kParamEqClassId);
    if (auto effect = EffectClassOf(effectName_)) classes.push_back(*effect);
    return classes;
}

HResult DeckEffectChain::Install(const Buffers& buffers, const FadeStepWait* wait) {
    const std::vector<EffectClassId> classes = ChainClasses();
    const auto installAll = [&]() -> HResult {
        for (const BufferRef& ref : buffers) {
            const auto buffer = ref.lock();
            if (!buffer) continue;
            EffectChain chain;
            for (const EffectClassId& id : classes) chain.push_back(fx::CreateEffect(id));
            if (HResult hr = buffer->SetFX(std::move(chain)); !Succeeded(hr)) return hr;
        }
        return kOk;
    };
    std::vector<BufferRef> stopped;
    if (HResult hr = installAll(); !Succeeded(hr)) {
        if (!wait) return hr;
        for (const BufferRef& ref : buffers)
            if (const auto buffer = ref.lock(); buffer && buffer->IsPlaying()) stopped.push_back(ref);
        SoftStopAll(stopped, *wait);
        if (hr = installAll(); !Succeeded(hr)) return hr;
    }
    for (int band = 0; equalizerOn_ && band < Bands(); ++band) SetBandParameters(buffers, band);
    ApplyEffectParameter(buffers, 0);
    ApplyEffectParameter(buffers, 1);
    if (!stopped.empty()) SoftStartAll(stopped, *wait);
    return kOk;
}

HResult DeckEffectChain::EqualizerOn(const Buffers& buffers, bool split, const FadeStepWait& wait) {
    if (split) return kUnexpected;
    equalizerOn_ = true;
    if (!HasAny(buffers)) return kNotInitialized;
    const HResult hr = Install(buffers, &wait);
    if (!Succeeded(hr)) equalizerOn_ = false;
    return hr;
}

HResult DeckEffectChain::EqualizerOff(const Buffers& buffers, const FadeStepWait& wait) {
    equalizerOn_ = false;
    if (!HasAny(buffers)) return kNotInitialized;
    return Install(buffers, &wait);
}

HResult DeckEffectChain::SetEqualizerBandGain(const Buffers& buffers, int band) {
    if (band < 0 || band >= Bands()) return kUnexpected;
    if (!equalizerOn_ || !HasAny(buffers)) return kNotInitialized;
    SetBandParameters(buffers, band);
    return kOk;
}

HResult DeckEffectChain::SetEffect(const Buffers& buffers, bool split, const QString& name,
                                   const FadeStepWait& wait) {
    if (split) return kUnexpected;
    effectName_ = name;
    if (!HasAny(buffers)) return kNotInitialized;
    return Install(buffers, &wait);
}

HResult DeckEffectChain::SetEffectParameter(const Buffers& buffers, bool split, int index) {
    if (split || index < 0 || index > 1) return kUnexpected;
    if (!HasAny(buffers)) return kNotInitialized;
    ApplyEffectParameter(buffers, index);
    return kOk;
}

void DeckEffectChain::Reinstall(const Buffers& buffers) {
    if (equalizerOn_ || EffectClassOf(effectName_)) Install(buffers, nullptr);
}

void DeckEffectChain::SetBandParameters(const Buffers& buffers, int band) const {
    for (const BufferRef& ref : buffers) {
        const auto buffer = ref.lock();
        SoundEffect* effect = nullptr;
        if (!buffer ||
            !Succeeded(buffer->GetObjectInPath(fx::kParamEqClassId, static_cast<size_t>(band), &effect)))
            continue;
        fx::ParamEq* eq = EffectCast<fx::ParamEq>(effect);
        fx::ParamEqParameters parameters;
        eq->GetAllParameters(&parameters);
        output::SetBandParameters(shaping_->Equalizer(deck_), band, parameters);
        eq->SetAllParameters(parameters);  // a bandwidth beyond 36 semitones is limited to it
    }
}

void DeckEffectChain::ApplyEffectParameter(const Buffers& buffers, int index) const {
    const auto classId = EffectClassOf(effectName_);
    if (!classId || !shaping_) return;
    const double value = shaping_->EffectParameters().Value(deck_, index);
    for (const BufferRef& ref : buffers) {
        const auto buffer = ref.lock();
        SoundEffect* effect = nullptr;
        if (buffer && Succeeded(buffer->GetObjectInPath(*classId, 0, &effect)))
            output::ApplyEffectParameter(*effect, effectName_, index, value);
    }
}

}  // namespace output
