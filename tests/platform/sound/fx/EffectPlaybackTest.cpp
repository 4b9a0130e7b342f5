// What the effects owe the mixer while a deck plays: a slide that moves is
// followed without a click, the output does not depend on how the sound is
// cut into calls, and the audio thread's part allocates nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "platform/ThreadAllocationCount.h"
#include "platform/sound/fx/Chorus.h"
#include "platform/sound/fx/Echo.h"
#include "platform/sound/fx/EffectSignals.h"
#include "platform/sound/fx/Flanger.h"
#include "platform/sound/fx/Reverb.h"

using namespace fx_tests;
using namespace platform::sound::fx;
using platform::sound::EffectCast;

namespace {

struct Move {
    std::string name;
    std::function<std::unique_ptr<SoundEffect>()> make;
    std::function<void(SoundEffect&)> move;
};

// An effect set up as `from`, whose parameters jump to `to`.
template <typename Effect, typename Parameters>
Move Jump(std::string name, Parameters from, Parameters to) {
    return {std::move(name), [from] { return std::unique_ptr<SoundEffect>(Prepared<Effect>(from)); },
            [to](SoundEffect& effect) { EffectCast<Effect>(&effect)->SetAllParameters(to); }};
}

// Each slide of the decks' effect windows (and the wet/dry mixes) jumping
// across its range.
std::vector<Move> Moves() {
    return {
        Jump<Echo>("echo feedback up", EchoParameters{}, EchoParameters{.fFeedback = 100}),
        Jump<Echo>("echo delay up", EchoParameters{},
                   EchoParameters{.fLeftDelay = 2000, .fRightDelay = 2000}),
        Jump<Echo>("echo delay down", EchoParameters{}, EchoParameters{.fLeftDelay = 1, .fRightDelay = 1}),
        Jump<Echo>("echo all wet", EchoParameters{}, EchoParameters{.fWetDryMix = 100}),
        Jump<Echo>("echo pan delay", EchoParameters{}, EchoParameters{.lPanDelay = 1}),
        Jump<Chorus>("chorus feedback up", ChorusParameters{}, ChorusParameters{.fFeedback = 99}),
        Jump<Chorus>("chorus feedback down", ChorusParameters{}, ChorusParameters{.fFeedback = -99}),
        Jump<Chorus>("chorus frequency up", ChorusParameters{}, ChorusParameters{.fFrequency = 10}),
        Jump<Chorus>("chorus delay and depth", ChorusParameters{},
                     ChorusParameters{.fDepth = 100, .fDelay = 20}),
        Jump<Chorus>("chorus wave and phase", ChorusParameters{},
                     ChorusParameters{.fDepth = 50, .lWaveform = 0, .lPhase = 0}),
        Jump<Chorus>("chorus all dry", ChorusParameters{}, ChorusParameters{.fWetDryMix = 0}),
        Jump<Flanger>("flanger feedback up", FlangerParameters{}, FlangerParameters{.fFeedback = 99}),
        Jump<Flanger>("flanger delay up", FlangerParameters{}, FlangerParameters{.fDelay = 4}),
        Jump<Flanger>("flanger delay down", FlangerParameters{}, FlangerParameters{.fDelay = 0}),
        Jump<Reverb>("reverb length up", ReverbParameters{}, ReverbParameters{.fReverbTime = 3000}),
        Jump<Reverb>("reverb length down", ReverbParameters{}, ReverbParameters{.fReverbTime = 0.001f}),
        Jump<Reverb>("reverb brighter", ReverbParameters{}, ReverbParameters{.fHighFreqRTRatio = 0.999f}),
        Jump<Reverb>("reverb mix down", ReverbParameters{}, ReverbParameters{.fReverbMix = -96}),
    };
}

}  // namespace

TEST(EffectPlaybackTest, AParameterJumpWhilePlayingAddsNoClick) {
    // A 220 Hz tone (faded in, so that only frequencies near it are about;
    // a quarter cycle apart on the two sides, so that sending one side's
    // sound to the other is a change) cannot change by more than
    // 2 sin(pi 220 / rate) of its peak from one sample to the next; the
    // effects only add copies of it, with a pitch that wavers by a few
    // percent at most. A step at the jump, or where an echo repeats it,
    // would be a good part of the peak.
    constexpr double kHz = 220;
    const double slope = 2 * std::sin(kPi * kHz / kRate);
    const Stereo tone = Tone(kHz, 2.3, 0.25, 0.05, 0.25);
    const int jumpAt = 128 * kChunk;  // about 1.5 s in
    for (const Move& m : Moves()) {
        SCOPED_TRACE(m.name);
        auto effect = m.make();
        Stereo out = tone;
        const int frames = static_cast<int>(out.size() / 2);
        for (int done = 0; done < frames; done += kChunk) {
            if (done == jumpAt) m.move(*effect);
            effect->Process(out.data() + 2 * done, std::min(kChunk, frames - done));
        }
        for (int channel = 0; channel < 2; ++channel) {
            const Mono after = Channel(out, channel, jumpAt - 1, jumpAt + Frames(0.8));
            double peak = 0;
            double step = 0;
            for (size_t i = 0; i < after.size(); ++i) {
                peak = std::max(peak, std::abs(static_cast<double>(after[i])));
                if (i > 0) step = std::max(step, std::abs(static_cast<double>(after[i]) - after[i - 1]));
            }
            EXPECT_GT(peak, 0.02) << "there is sound to hear a click in";
            EXPECT_LT(step, 1.25 * slope * peak) << "channel " << channel;
        }
    }
}

TEST(EffectPlaybackTest, ProcessingAndTakingNewParametersAllocateNothing) {
    for (const Move& m : Moves()) {
        SCOPED_TRACE(m.name);
        auto effect = m.make();
        Stereo sound = Noise(0.1, 0.3);
        long allocations = 0;
        {
            const testing_support::ThreadAllocationCount count;
            effect->Process(sound.data(), kChunk);
            allocations += count.Count();
        }
        m.move(*effect);  // as the user-interface thread does; the next call takes it
        {
            const testing_support::ThreadAllocationCount count;
            effect->Process(sound.data() + 2 * kChunk, kChunk);
            effect->Process(sound.data() + 4 * kChunk, 1);
            allocations += count.Count();
        }
        EXPECT_EQ(allocations, 0);
    }
}

TEST(EffectPlaybackTest, TheOutputDoesNotDependOnHowTheSoundIsCutIntoCalls) {
    const Stereo noise = Noise(1.0, 0.3);
    for (const Move& m : Moves()) {
        SCOPED_TRACE(m.name);
        const Stereo whole = Processed(*m.make(), noise, kChunk);
        for (int chunk : {1, 37, 300}) {
            const Stereo cut = Processed(*m.make(), noise, chunk);
            double largest = 0;
            for (size_t i = 0; i < whole.size(); ++i)
                largest = std::max(largest, std::abs(static_cast<double>(whole[i]) - cut[i]));
            EXPECT_LT(largest, 1e-6) << "in calls of " << chunk;
        }
    }
}
