// What every standard effect promises its user: the documented defaults,
// values limited to their ranges with kFalse to say so, and effects found on
// a buffer by class and index.
#include <gtest/gtest.h>

#include "platform/sound/fx/Chorus.h"
#include "platform/sound/fx/Compressor.h"
#include "platform/sound/fx/Distortion.h"
#include "platform/sound/fx/Echo.h"
#include "platform/sound/fx/EffectFactory.h"
#include "platform/sound/fx/EffectProbe.h"
#include "platform/sound/fx/Flanger.h"
#include "platform/sound/fx/Gargle.h"
#include "platform/sound/fx/ParamEq.h"
#include "platform/sound/fx/Reverb.h"
#include "support/AudioFixtures.h"
#include "support/SoundRig.h"

using namespace platform::sound::fx;
using namespace sound_tests;

namespace {

// The effect of that class as made by the factory, with its parameters.
template <typename Effect, typename Parameters>
Parameters DefaultsOf(std::unique_ptr<SoundEffect>& keep) {
    keep = CreateEffect(Effect::kClassId);
    Effect* effect = EffectCast<Effect>(keep.get());
    Parameters parameters{};
    EXPECT_NE(effect, nullptr);
    if (effect) {
        EXPECT_EQ(effect->GetAllParameters(&parameters), kOk);
    }
    return parameters;
}

}  // namespace

TEST(StandardEffectTest, EachClassIsMadeWithItsDocumentedDefaults) {
    std::unique_ptr<SoundEffect> effect;

    const auto eq = DefaultsOf<ParamEq, ParamEqParameters>(effect);
    EXPECT_EQ(eq.fCenter, 8000.0f);
    EXPECT_EQ(eq.fBandwidth, 12.0f);
    EXPECT_EQ(eq.fGain, 0.0f);

    const auto chorus = DefaultsOf<Chorus, ChorusParameters>(effect);
    EXPECT_EQ(chorus.fWetDryMix, 50.0f);
    EXPECT_EQ(chorus.fDepth, 10.0f);
    EXPECT_EQ(chorus.fFeedback, 25.0f);
    EXPECT_EQ(chorus.fFrequency, 1.1f);
    EXPECT_EQ(chorus.lWaveform, 1);
    EXPECT_EQ(chorus.fDelay, 16.0f);
    EXPECT_EQ(chorus.lPhase, 3);

    const auto compressor = DefaultsOf<Compressor, CompressorParameters>(effect);
    EXPECT_EQ(compressor.fGain, 0.0f);
    EXPECT_EQ(compressor.fAttack, 10.0f);
    EXPECT_EQ(compressor.fRelease, 200.0f);
    EXPECT_EQ(compressor.fThreshold, -20.0f);
    EXPECT_EQ(compressor.fRatio, 3.0f);
    EXPECT_EQ(compressor.fPredelay, 4.0f);

    const auto distortion = DefaultsOf<Distortion, DistortionParameters>(effect);
    EXPECT_EQ(distortion.fGain, -18.0f);
    EXPECT_EQ(distortion.fEdge, 15.0f);
    EXPECT_EQ(distortion.fPostEQCenterFrequency, 2400.0f);
    EXPECT_EQ(distortion.fPostEQBandwidth, 2400.0f);
    EXPECT_EQ(distortion.fPreLowpassCutoff, 8000.0f);

    const auto echo = DefaultsOf<Echo, EchoParameters>(effect);
    EXPECT_EQ(echo.fWetDryMix, 50.0f);
    EXPECT_EQ(echo.fFeedback, 50.0f);
    EXPECT_EQ(echo.fLeftDelay, 500.0f);
    EXPECT_EQ(echo.fRightDelay, 500.0f);
    EXPECT_EQ(echo.lPanDelay, 0);

    const auto flanger = DefaultsOf<Flanger, FlangerParameters>(effect);
    EXPECT_EQ(flanger.fWetDryMix, 50.0f);
    EXPECT_EQ(flanger.fDepth, 100.0f);
    EXPECT_EQ(flanger.fFeedback, -50.0f);
    EXPECT_EQ(flanger.fFrequency, 0.25f);
    EXPECT_EQ(flanger.lWaveform, 1);
    EXPECT_EQ(flanger.fDelay, 2.0f);
    EXPECT_EQ(flanger.lPhase, 2);

    const auto gargle = DefaultsOf<Gargle, GargleParameters>(effect);
    EXPECT_EQ(gargle.dwRateHz, 20u);
    EXPECT_EQ(gargle.dwWaveShape, 0u);

    const auto reverb = DefaultsOf<Reverb, ReverbParameters>(effect);
    EXPECT_EQ(reverb.fInGain, 0.0f);
    EXPECT_EQ(reverb.fReverbMix, 0.0f);
    EXPECT_EQ(reverb.fReverbTime, 1000.0f);
    EXPECT_EQ(reverb.fHighFreqRTRatio, 0.001f);

    // The cast refuses an effect of another class.
    EXPECT_EQ(EffectCast<ParamEq>(effect.get()), nullptr);
}

TEST(StandardEffectTest, ResetLeavesNothingOfWhatWasPlayedBefore) {
    // After loud noise and a Reset, silence in is silence out: no tail of a
    // filter, delay line or detector is heard when a buffer starts again.
    for (const EffectClassId* id :
         {&kParamEqClassId, &kChorusClassId, &kCompressorClassId, &kDistortionClassId, &kEchoClassId,
          &kFlangerClassId, &kGargleClassId, &kReverbClassId}) {
        auto effect = CreateEffect(*id);
        ASSERT_NE(effect, nullptr);
        if (auto* eq = EffectCast<ParamEq>(effect.get())) eq->SetAllParameters({.fGain = 15.0f});
        effect->Prepare(effect_probe::kRate, effect_probe::kChannels);
        effect->Reset();
        effect_probe::Signal loud = effect_probe::Noise(effect_probe::kRate / 4, 0.9);
        effect_probe::Feed(*effect, loud);
        effect->Reset();
        effect_probe::Signal silence(static_cast<size_t>(effect_probe::kRate) * effect_probe::kChannels,
                                     0.0f);
        effect_probe::Feed(*effect, silence);
        EXPECT_EQ(effect_probe::Peak(silence, 0, effect_probe::kRate), 0.0)
            << "class " << std::hex << id->data1;
    }
}

TEST(StandardEffectTest, ValuesOutsideTheirRangeAreLimitedAndSaySo) {
    ParamEq eq;
    EXPECT_EQ(eq.SetAllParameters({.fCenter = 1000.0f, .fBandwidth = 36.0f, .fGain = -15.0f}), kOk);
    EXPECT_EQ(eq.SetAllParameters({.fCenter = 20.0f, .fBandwidth = 40.0f, .fGain = 16.0f}), kFalse);
    ParamEqParameters eqRead;
    ASSERT_EQ(eq.GetAllParameters(&eqRead), kOk);
    EXPECT_EQ(eqRead.fCenter, 80.0f);
    EXPECT_EQ(eqRead.fBandwidth, 36.0f);
    EXPECT_EQ(eqRead.fGain, 15.0f);
    EXPECT_EQ(eq.GetAllParameters(nullptr), kInvalidParam);

    Compressor compressor;
    EXPECT_EQ(compressor.SetAllParameters({.fRatio = 0.5f, .fPredelay = 5.0f}), kFalse);
    CompressorParameters compressorRead;
    compressor.GetAllParameters(&compressorRead);
    EXPECT_EQ(compressorRead.fRatio, 1.0f);
    EXPECT_EQ(compressorRead.fPredelay, 4.0f);
    EXPECT_EQ(compressorRead.fAttack, 10.0f) << "fields in range are kept";

    Distortion distortion;
    EXPECT_EQ(distortion.SetAllParameters({.fGain = 3.0f, .fEdge = std::nanf("")}), kFalse);
    DistortionParameters distortionRead;
    distortion.GetAllParameters(&distortionRead);
    EXPECT_EQ(distortionRead.fGain, 0.0f);
    EXPECT_EQ(distortionRead.fEdge, 0.0f) << "not a number becomes the minimum";

    Gargle gargle;
    EXPECT_EQ(gargle.SetAllParameters({.dwRateHz = 1000, .dwWaveShape = 1}), kOk);
    EXPECT_EQ(gargle.SetAllParameters({.dwRateHz = 0, .dwWaveShape = 2}), kFalse);
    GargleParameters gargleRead;
    gargle.GetAllParameters(&gargleRead);
    EXPECT_EQ(gargleRead.dwRateHz, 1u);
    EXPECT_EQ(gargleRead.dwWaveShape, 1u);

    Echo echo;
    EXPECT_EQ(echo.SetAllParameters({.fLeftDelay = 2000.0f, .fRightDelay = 1.0f}), kOk);
    EXPECT_EQ(echo.SetAllParameters({.fLeftDelay = 2500.0f}), kFalse);
    Chorus chorus;
    EXPECT_EQ(chorus.SetAllParameters({.fFeedback = -100.0f}), kFalse);
    Flanger flanger;
    EXPECT_EQ(flanger.SetAllParameters({.fDelay = 4.5f}), kFalse);
    Reverb reverb;
    EXPECT_EQ(reverb.SetAllParameters({.fHighFreqRTRatio = 1.0f}), kFalse);
    ReverbParameters reverbRead;
    reverb.GetAllParameters(&reverbRead);
    EXPECT_EQ(reverbRead.fHighFreqRTRatio, 0.999f);
}

TEST(StandardEffectTest, ABufferFindsTheNthEffectOfAClassInItsChain) {
    SoundRig rig;
    auto device = rig.Open("Desk");
    auto buffer = SoundRig::Buffer(*device, fixtures::Sine(440.0, 0.1, 44'100, 2));
    EffectChain chain;
    for (const float centre : {100.0f, 1000.0f, 10000.0f}) {
        auto eq = std::make_unique<ParamEq>();
        eq->SetAllParameters({.fCenter = centre});
        chain.push_back(std::move(eq));
    }
    chain.push_back(CreateEffect(kEchoClassId));
    ASSERT_EQ(buffer->SetFX(std::move(chain)), kOk);

    SoundEffect* found = nullptr;
    ASSERT_EQ(buffer->GetObjectInPath(kParamEqClassId, 1, &found), kOk);
    ParamEq* second = EffectCast<ParamEq>(found);
    ASSERT_NE(second, nullptr);
    ParamEqParameters read;
    second->GetAllParameters(&read);
    EXPECT_EQ(read.fCenter, 1000.0f);
    ASSERT_EQ(buffer->GetObjectInPath(kParamEqClassId, 2, &found), kOk);
    EffectCast<ParamEq>(found)->GetAllParameters(&read);
    EXPECT_EQ(read.fCenter, 10000.0f);
    EXPECT_EQ(buffer->GetObjectInPath(kParamEqClassId, 3, &found), kObjectNotFound);

    ASSERT_EQ(buffer->GetObjectInPath(kEchoClassId, 0, &found), kOk);
    EXPECT_NE(EffectCast<Echo>(found), nullptr);
    EXPECT_EQ(buffer->GetObjectInPath(kEchoClassId, 1, &found), kObjectNotFound);
    EXPECT_EQ(buffer->GetObjectInPath(kGargleClassId, 0, &found), kObjectNotFound);
}
