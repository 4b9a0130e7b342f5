// The echo heard through a buffer on the Offline backend: when each repeat of
// an impulse comes back, how loud, and on which side.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "platform/sound/fx/Echo.h"
#include "support/SoundRig.h"

using namespace sound_tests;
using platform::sound::fx::Echo;
using platform::sound::fx::EchoParameters;

namespace {

constexpr int kRate = 44'100;
constexpr int16_t kImpulse = 16'000;

int FramesOf(double milliseconds) {
    return static_cast<int>(std::lround(milliseconds * kRate / 1000.0));
}

class EchoTest : public ::testing::Test {
protected:
    // Plays a buffer holding one impulse (on the sides given) followed by
    // silence, once, through an echo with these parameters; returns what the
    // device heard, interleaved.
    std::vector<int16_t> Heard(const EchoParameters& parameters, bool left, bool right,
                               double seconds = 2.6) {
        std::vector<int16_t> samples(2 * static_cast<size_t>(seconds * kRate), 0);
        samples[0] = left ? kImpulse : 0;
        samples[1] = right ? kImpulse : 0;
        auto buffer = SoundRig::Buffer(*device, samples);
        auto echo = std::make_unique<Echo>();
        EXPECT_EQ(echo->SetAllParameters(parameters), platform::sound::kOk);
        EXPECT_EQ(buffer->SetFX(ChainOf(std::move(echo))), platform::sound::kOk);
        EXPECT_EQ(buffer->Play(false), platform::sound::kOk);
        return rig.Render("Desk", static_cast<int>(samples.size() / 2));
    }

    // The frame of the loudest sample of a channel within [begin, end).
    static int Loudest(const std::vector<int16_t>& heard, int channel, int begin, int end) {
        int best = begin;
        for (int n = begin; n < end; ++n)
            if (std::abs(heard[2 * n + channel]) > std::abs(heard[2 * best + channel])) best = n;
        return best;
    }

    static int At(const std::vector<int16_t>& heard, int channel, int frame) {
        return heard[2 * frame + channel];
    }

    SoundRig rig;
    std::unique_ptr<platform::sound::DirectSound> device = rig.Open("Desk");
};

}  // namespace

TEST_F(EchoTest, AnImpulseComesBackAtTheDelayEachRepeatHalfThePreviousAtFeedbackFifty) {
    const auto heard = Heard(EchoParameters{}, true, true);  // 50 % wet, feedback 50, 500 ms
    for (int channel = 0; channel < 2; ++channel) {
        SCOPED_TRACE(channel == 0 ? "left" : "right");
        EXPECT_EQ(At(heard, channel, 0), kImpulse / 2) << "the dry half is heard at once";
        double previous = kImpulse / 2.0;
        for (int repeat = 1; repeat <= 4; ++repeat) {
            const int due = FramesOf(500.0 * repeat);
            EXPECT_EQ(Loudest(heard, channel, due - FramesOf(250), due + FramesOf(250)), due)
                << "repeat " << repeat << " comes back 500 ms after the one before";
            const double level = At(heard, channel, due);
            const double step = 20 * std::log10(level / previous);
            // The first repeat is the wet half of the impulse; each later one
            // half the one before.
            EXPECT_NEAR(step, repeat == 1 ? 0.0 : -6.02, 0.5) << "repeat " << repeat;
            previous = level;
        }
        // Nothing but the repeats: the line is silent between them.
        int strays = 0;
        for (int n = 1; n < FramesOf(2500); ++n)
            if (n % FramesOf(500) != 0 && std::abs(At(heard, channel, n)) > 1) ++strays;
        EXPECT_EQ(strays, 0);
    }
}

TEST_F(EchoTest, EachSideRepeatsAtItsOwnDelay) {
    const auto heard =
        Heard({.fWetDryMix = 50, .fFeedback = 50, .fLeftDelay = 300, .fRightDelay = 700}, true, true);
    EXPECT_EQ(Loudest(heard, 0, 1, FramesOf(450)), FramesOf(300));
    EXPECT_EQ(Loudest(heard, 0, FramesOf(450), FramesOf(750)), FramesOf(600));
    EXPECT_EQ(Loudest(heard, 1, 1, FramesOf(1050)), FramesOf(700));
    EXPECT_EQ(Loudest(heard, 1, FramesOf(1050), FramesOf(2000)), FramesOf(1400));
    EXPECT_NEAR(At(heard, 0, FramesOf(600)) * 2.0, At(heard, 0, FramesOf(300)), 2.0);
    EXPECT_NEAR(At(heard, 1, FramesOf(1400)) * 2.0, At(heard, 1, FramesOf(700)), 2.0);
}

TEST_F(EchoTest, PanDelaySendsEachRepeatToTheOtherSide) {
    const auto heard = Heard({.fWetDryMix = 50, .fFeedback = 50, .lPanDelay = 1}, true, false);
    const int first = FramesOf(500);
    const int second = FramesOf(1000);
    const int third = FramesOf(1500);
    EXPECT_EQ(At(heard, 1, 0), 0) << "the dry impulse stays on the left";
    EXPECT_EQ(At(heard, 1, first), kImpulse / 2) << "the first repeat is on the right";
    EXPECT_EQ(At(heard, 0, first), 0);
    EXPECT_EQ(At(heard, 0, second), kImpulse / 4) << "the second is back on the left";
    EXPECT_EQ(At(heard, 1, second), 0);
    EXPECT_EQ(At(heard, 1, third), kImpulse / 8);
    EXPECT_EQ(At(heard, 0, third), 0);

    // Without pan delay the repeats stay where the sound was.
    const auto straight = Heard({.fWetDryMix = 50, .fFeedback = 50, .lPanDelay = 0}, true, false);
    EXPECT_EQ(At(straight, 0, first), kImpulse / 2);
    EXPECT_EQ(At(straight, 1, first), 0);
}
