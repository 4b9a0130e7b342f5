// The outputs as the engine and the mixer use them: decks' buffers on whole
// and split devices, block writes, gains, fades, the cross faders with their
// cue mark and saved settings, applying a device choice, and a device that
// goes away.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <tuple>
#include <vector>

#include "engine/SampleBlock.h"
#include "output/CZelCrossFader.h"
#include "output/CZelMixerControls.h"
#include "output/CZelOutput.h"
#include "output/CZelOutputDevice.h"
#include "output/DeviceChoice.h"
#include "platform/Event.h"
#include "settings/CZelSettings.h"
#include "support/SoundRig.h"

using namespace output;
using namespace platform::sound;
using engine::kBlockFrames;
using engine::kBlockSamples;
using Rig = sound_tests::SoundRig;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

constexpr int kA = 0;
constexpr int kB = 1;
constexpr long kSilence = -10'000;

struct FakeDecks final : CZelMixerControls::Decks {
    bool IsCueOn(int deck) const override { return cue[deck]; }
    bool IsPlaying(int deck) const override { return playing[deck]; }
    void Start(int deck) override { started.push_back(deck); }

    bool cue[2] = {true, true};
    bool playing[2] = {false, false};
    std::vector<int> started;
};

engine::SampleBlock BlockOf(int16_t left, int16_t right) {
    engine::SampleBlock block{};
    for (int f = 0; f < kBlockFrames; ++f) {
        block.samples[2 * f] = left;
        block.samples[2 * f + 1] = right;
    }
    return block;
}

// The first sample at `offset` in the buffer.
int16_t SampleAt(SoundBuffer& buffer, uint32_t offset) {
    void* at = nullptr;
    uint32_t bytes = 0;
    buffer.Lock(offset, 4, &at, &bytes, nullptr, nullptr);
    return *static_cast<int16_t*>(at);
}

struct RecordingControls final : DeviceChoiceControls {
    void SetHeadphonesVolumeSlide(bool enabled, std::optional<double> value) override {
        headphones = {enabled, value.value_or(headphones.second)};
    }
    void SetMasterVolumeSlide(bool enabled, std::optional<double>) override { masterEnabled = enabled; }
    void SwitchDeckProcessingOff(int deck) override { switchedOff[deck] = true; }
    void EnableDeckProcessingSwitches(bool enabled) override { switchesEnabled = enabled; }

    std::pair<bool, double> headphones{true, -1.0};  // enabled, value
    bool masterEnabled = false, switchesEnabled = true, switchedOff[2] = {false, false};
};

// Two outputs, the main one on "Desk" and the headphones on "Phones", each with
// both decks' buffers, and the mixer's controls on them.
class Outputs : public ::testing::Test {
protected:
    Outputs() {
        main_.Open(OfflineBackend::IdOf("Desk"), "Desk");
        headphones_.Open(OfflineBackend::IdOf("Phones"), "Phones");
        for (CZelOutput* output : {&main_, &headphones_}) {
            for (int deck : {kA, kB})
                EXPECT_EQ(output->Device()->CreateDeckBuffers(deck, 44'100, nullptr, nullptr), kOk);
        }
        mixer_.SetDecks(&decks_);
    }

    // The deck's volume on an output; both of its buffers must agree.
    static long Volume(const CZelOutput& output, int deck) {
        long forward = 1, backward = 2;
        output.Device()->ForwardBuffer(deck)->GetVolume(&forward);
        output.Device()->BackwardBuffer(deck)->GetVolume(&backward);
        EXPECT_EQ(forward, backward);
        return forward;
    }

    QTemporaryDir dir_;
    sound_tests::SoundRig rig_{{{"Desk", 2}, {"Phones", 2}}};
    CZelOutput main_{*rig_.system}, headphones_{*rig_.system};
    CZelSettings settings_{dir_.filePath("Orvo 2.ini")};
    CZelMixerControls mixer_{main_, headphones_, settings_};
    FakeDecks decks_;
};

using CrossFaderTest = Outputs;
using OutputDevice = Outputs;

}  // namespace

TEST_F(OutputDevice, GainToVolumeRule) {
    // Hundredths of a decibel: gains map linearly onto -56 dB to 0 dB, at most 0.0001 is silence.
    for (const auto& [gain, volume] : std::vector<std::pair<double, long>>{
             {1.0, 0}, {0.5, -2800}, {0.0001, -10'000}, {0.0, -10'000}, {0.00011, -5600}, {0.999999, -1}})
        EXPECT_EQ(GainToVolume(gain), volume) << gain;
}

TEST_F(OutputDevice, DeckBlocksWrapAfter120AndTheForwardBufferNotifiesAtTheEndOfABlock) {
    CZelOutputDevice& main = *main_.Device();
    platform::Event forward(platform::Event::Reset::Manual, false),
        backward(platform::Event::Reset::Manual, false);
    main.ReleaseDeckBuffers(0);
    EXPECT_EQ(main.SetDeckGain(0, 0.5), kNotInitialized) << "no buffers";
    ASSERT_EQ(main.CreateDeckBuffers(0, 44'100, &forward, &backward), kOk);

    // Block n lands at forward block n mod 120 and backward block (120 - n) mod 120.
    for (int n = 0; n < 121; ++n) {
        main.WriteForward(0, BlockOf(static_cast<int16_t>(n), 0).Span());
        main.WriteBackward(0, BlockOf(static_cast<int16_t>(n), 0).Span());
    }
    EXPECT_EQ(SampleAt(*main.ForwardBuffer(0), 0), 120) << "the 121st block overwrote forward block 0";
    EXPECT_EQ(SampleAt(*main.BackwardBuffer(0), 0), 120) << "and backward block 0";
    EXPECT_EQ(SampleAt(*main.BackwardBuffer(0), 119 * kBlockBytes), 1);
    EXPECT_EQ(main.ForwardWriteCursor(0), static_cast<uint32_t>(kBlockBytes));
    EXPECT_EQ(main.BackwardWriteCursor(0), 119u * kBlockBytes);

    main.ForwardBuffer(0)->Play(true);
    rig_.Stream("Desk").Step(kBlockFrames - 256);
    EXPECT_FALSE(forward.IsSet());
    rig_.Stream("Desk").Step(512);
    EXPECT_TRUE(forward.IsSet());
    EXPECT_FALSE(backward.IsSet());
}

TEST_F(OutputDevice, WholeAndSplitOutputsOfAFourChannelDevicePlayOnTheirOwnSpeakers) {
    Rig rig({{"Quad", 4}});
    const auto id = OfflineBackend::IdOf("Quad");
    {  // A whole output opens only two channels and plays its buffer unchanged.
        CZelOutputDevice whole(*rig.system);
        ASSERT_EQ(whole.Create(id, false, false), kOk);
        ASSERT_EQ(whole.CreateDeckBuffers(0, 44'100, nullptr, nullptr), kOk);
        engine::SampleBlock block{};
        for (int i = 0; i < kBlockSamples; ++i) block.samples[i] = static_cast<int16_t>(i * 7 - 20'000);
        ASSERT_EQ(whole.WriteForward(0, block.Span()), kOk);
        ASSERT_EQ(whole.ForwardBuffer(0)->Play(false), kOk);
        EXPECT_EQ(rig.Stream("Quad").Channels(), 2);
        const auto heard = rig.Render("Quad", kBlockFrames);
        ASSERT_GE(heard.size(), static_cast<size_t>(kBlockSamples));
        EXPECT_TRUE(std::equal(block.samples, block.samples + kBlockSamples, heard.begin()));
    }
    CZelOutput main(*rig.system), headphones(*rig.system);
    main.Open(id, "Quad (Front)");
    headphones.Open(id, "Quad (Rear)");
    ASSERT_TRUE(main.IsOpen() && headphones.IsOpen());
    EXPECT_EQ(main.DeviceName(), "Quad");
    ASSERT_EQ(headphones.Device()->CreateDeckBuffers(1, 44'100, nullptr, nullptr), kOk);
    ASSERT_EQ(main.Device()->CreateDeckBuffers(1, 44'100, nullptr, nullptr), kOk);
    main.Device()->WriteForward(1, BlockOf(1000, 2000).Span());
    headphones.Device()->WriteForward(1, BlockOf(3000, 4000).Span());
    main.Device()->ForwardBuffer(1)->Play(true);
    headphones.Device()->ForwardBuffer(1)->Play(true);
    const auto out = rig.Render("Quad", 512);
    ASSERT_EQ(out.size(), 512u * 4);
    EXPECT_EQ((std::vector<int16_t>(out.begin(), out.begin() + 4)),
              (std::vector<int16_t>{1000, 2000, 3000, 4000}));
}

TEST_F(OutputDevice, FadesFollowTheExponentialRampAndRestoreTheVolume) {
    for (int i = 0; i < engine::kOutputBlocks; ++i)
        main_.Device()->WriteForward(0, BlockOf(16'000, 16'000).Span());
    SoundBuffer& buffer = *main_.Device()->ForwardBuffer(0);
    buffer.SetVolume(-1000);
    long volume = 0;

    // Each fade step renders one period, so the sound shows every step's volume.
    std::vector<double> heard;
    auto renderOneStep = [&] {
        const auto out = rig_.Render("Desk", 256);
        heard.push_back(out.empty() ? 0.0 : out[out.size() - 2] / 16'000.0);
    };
    for (const bool in : {true, false}) {
        SCOPED_TRACE(in ? "in" : "out");
        heard.clear();
        in ? SoftStart(buffer, renderOneStep) : SoftStop(buffer, renderOneStep);
        ASSERT_EQ(heard.size(), 500u);
        EXPECT_EQ(buffer.IsPlaying(), in);
        buffer.GetVolume(&volume);
        EXPECT_EQ(volume, -1000) << "the buffer's own volume is back";
        if (in) {
            EXPECT_EQ(heard[0], 0.0) << "a fade-in starts from silence";
        }
        for (int i = 1; i < 500; ++i) {
            const long step = in ? FadeInVolume(-1000, i - 1) : FadeOutVolume(-1000, i - 1);
            ASSERT_NEAR(heard[i], VolumeToGain(step), 2e-4) << "step " << i;
        }
    }
    EXPECT_LT(heard.back(), 0.01);
    EXPECT_EQ(FadeInVolume(-1000, 166),
              static_cast<long>(9000 * (1 - std::exp(-166 / (500.0 / 3)))) - 10'000);

    // A stopped buffer is not faded out again.
    heard.clear();
    SoftStop(buffer, renderOneStep);
    EXPECT_TRUE(heard.empty());
}

TEST_F(OutputDevice, ApplyingADeviceChoice) {
    Rig rig({{"Quad", 4}});
    CZelOutput main(*rig.system), headphones(*rig.system);
    const auto quad = OfflineBackend::IdOf("Quad");

    RecordingControls none;  // nothing chosen: both closed, headphones volume off
    ApplyDeviceChoice(headphones, main, std::nullopt, "", std::nullopt, "", none);
    EXPECT_FALSE(main.IsOpen() || headphones.IsOpen());
    EXPECT_EQ(none.headphones, std::pair(false, 0.0));
    EXPECT_FALSE(none.switchesEnabled);
    EXPECT_TRUE(none.switchedOff[0] && none.switchedOff[1]);

    RecordingControls halves;  // two halves of one device: headphones volume and deck switches off
    ApplyDeviceChoice(headphones, main, quad, "Quad (Rear)", quad, "Quad (Front)", halves);
    ASSERT_TRUE(main.IsOpen() && headphones.IsOpen());
    EXPECT_FALSE(main.Device()->IsRear());
    EXPECT_TRUE(headphones.Device()->IsRear());
    EXPECT_EQ(halves.headphones, std::pair(false, 0.0));
    EXPECT_FALSE(halves.switchesEnabled);
    EXPECT_TRUE(halves.masterEnabled);

    RecordingControls mainOnly;  // the main output alone carries the decks' equalizers and effects
    mainOnly.switchesEnabled = false;
    ApplyDeviceChoice(headphones, main, std::nullopt, "", quad, "Quad", mainOnly);
    EXPECT_TRUE(mainOnly.switchesEnabled);
}

TEST_F(OutputDevice, ALostDeviceKeepsItsOutputAndItsBuffersUntilItComesBack) {
    SoundBuffer* buffer = main_.Device()->ForwardBuffer(0);
    buffer->Play(true);
    EXPECT_FALSE(main_.IsLost());

    // Unplugged: the output stays the user's choice, with its deck buffers.
    rig_.backend->SetDevicePresent("Desk", false);
    EXPECT_TRUE(main_.IsLost() && main_.IsOpen() && main_.Level().IsDeviceOpen());
    // The streams are looked after at chosen times, far enough apart for a
    // reopening attempt each time.
    const std::chrono::steady_clock::time_point later(std::chrono::hours(1));
    rig_.system->MaintainStreams(later);
    EXPECT_TRUE(main_.IsLost()) << "not back while it is away";

    // Plugged in again: the same buffer plays on.
    rig_.backend->SetDevicePresent("Desk", true);
    rig_.system->MaintainStreams(later + std::chrono::seconds(10));
    EXPECT_FALSE(main_.IsLost());
    EXPECT_EQ(main_.Device()->ForwardBuffer(0), buffer);
    EXPECT_TRUE(buffer->IsPlaying());
}

TEST_F(CrossFaderTest, TheCurveTheFadersAndTheLevelsSetEachDecksVolume) {
    // (curve, main fader, levels, Deck A's and Deck B's volume on the main output)
    for (const auto& [curve, fader, levelA, levelB, volumeA, volumeB] :
         std::vector<std::tuple<double, double, double, double, long, long>>{
             {0.0, -1.0, 1.0, 1.0, -57, kSilence},          // 5600 * 98/99 = 5543.4
             {0.0, 0.0, 1.0, 1.0, -2829, -2829},            // 5600 * 49/99 = 2771.7
             {1.0, 0.0, 0.7, 0.25, -1681, -4200},           // 5600 * 0.7 falls just short of 3920
             {1.0, 0.5, 0.7, 0.25, 1979 - 5600, -4200}}) {  // step 73: Deck A at 25/49.5
        mixer_.OnCurveChanged(curve);
        mixer_.OnLevelChanged(kA, levelA);
        mixer_.OnLevelChanged(kB, levelB);
        mixer_.OnMainCrossFaderChanged(fader);
        EXPECT_EQ(Volume(main_, kA), volumeA) << curve << " " << fader;
        EXPECT_EQ(Volume(main_, kB), volumeB) << curve << " " << fader;
    }
    // The headphones fader stays at its start, the other end.
    EXPECT_EQ(Volume(headphones_, kA), kSilence);
    EXPECT_EQ(Volume(headphones_, kB), -4200);

    // New buffers get the gains when the engine has them applied again.
    main_.Device()->ReleaseDeckBuffers(kA);
    ASSERT_EQ(main_.Device()->CreateDeckBuffers(kA, 44'100, nullptr, nullptr), kOk);
    static_cast<output::MixLink&>(mixer_).ApplyBothCrossFaders();
    EXPECT_EQ(Volume(main_, kA), 1979 - 5600);

    // Without a device only the deck gains change.
    main_.Close();
    mixer_.OnMainCrossFaderChanged(-1.0);
    EXPECT_EQ(mixer_.MainCrossFader().DeckGain(kA), 1.0);
    EXPECT_EQ(mixer_.MainCrossFader().DeckGain(kB), 0.0);
}

TEST_F(CrossFaderTest, CurveShapes) {
    // (curve, step, Deck B's gain there, which Deck A's mirrors): the straight
    // line, the fast cut at full gain from the centre on, and half way to it.
    const CZelCrossFader& fader = mixer_.MainCrossFader();
    for (const auto& [curve, step, gain] : std::vector<std::tuple<double, int, double>>{{0.0, 98, 98 / 99.0},
                                                                                        {0.0, 30, 30 / 99.0},
                                                                                        {1.0, 10, 10 / 49.5},
                                                                                        {1.0, 49, 1.0},
                                                                                        {1.0, 90, 1.0},
                                                                                        {0.5, 73, 73 / 74.25},
                                                                                        {0.5, 74, 1.0}}) {
        mixer_.OnCurveChanged(curve);
        EXPECT_NEAR(fader.CurveB()[step], gain, 1e-12) << curve << " " << step;
        EXPECT_NEAR(fader.CurveA()[98 - step], gain, 1e-12) << curve << " " << step;
        EXPECT_EQ(mixer_.HeadphonesCrossFader().CurveB()[step], fader.CurveB()[step]) << "one curve for both";
    }
    // The slow cut: a cube root.
    mixer_.OnCurveChanged(-1.0);
    EXPECT_NEAR(fader.CurveB()[30], std::cbrt(30 / 99.0), 1e-12);
    EXPECT_NEAR(fader.CurveA()[1], std::cbrt(97 / 99.0), 1e-12);
}

TEST_F(CrossFaderTest, CrossingTheCueMarkStartsTheCuedStoppedDeck) {
    // The decks the main fader's moves to `positions` start.
    const auto moves = [this](std::initializer_list<double> positions) {
        decks_.started.clear();
        for (const double x : positions) mixer_.OnMainCrossFaderChanged(x);
        return decks_.started;
    };
    mixer_.OnCueOnChanged(true);
    EXPECT_THAT(moves({-0.5}), IsEmpty());
    EXPECT_THAT(moves({0.5, -0.5}), ElementsAre(kB, kA));
    EXPECT_THAT(moves({0.0, 0.5}), ElementsAre(kB))
        << "arriving on the mark counts, leaving it to that side not";

    // A playing deck, or one whose Cue is off, is left alone.
    decks_.playing[kA] = true;
    EXPECT_THAT(moves({-0.5}), IsEmpty());
    decks_.cue[kB] = false;
    EXPECT_THAT(moves({0.5}), IsEmpty());

    decks_.cue[kB] = true;
    mixer_.OnCueMarkMoved(0.75);
    EXPECT_THAT(moves({0.8}), ElementsAre(kB));
    mixer_.ResetCueMark();
    EXPECT_EQ(mixer_.CueMark(), 0.0);

    // Only the main fader starts decks, and only while the cue is on.
    decks_.playing[kA] = false;
    decks_.started.clear();
    mixer_.OnHeadphonesCrossFaderChanged(-1.0);
    mixer_.OnHeadphonesCrossFaderChanged(1.0);
    EXPECT_THAT(decks_.started, IsEmpty());
    mixer_.OnCueOnChanged(false);
    EXPECT_THAT(moves({-0.5, 0.5}), IsEmpty());
}

TEST_F(CrossFaderTest, LevelsAndCurveAreSavedAndRestored) {
    mixer_.OnLevelChanged(kB, 0.25);
    EXPECT_EQ(settings_.Level(kB).value, 0.25f);
    EXPECT_FALSE(settings_.ValueExists("levelDeckA"));
    mixer_.OnCurveChanged(-0.5);
    EXPECT_EQ(settings_.CrossFaderCurvePosition().value, -0.5f);

    // A fresh start takes the saved values and sets both outputs by them.
    settings_.WriteLevel(kA, 0.5f);
    settings_.WriteCrossFaderCurvePosition(1.0f);
    CZelMixerControls restarted(main_, headphones_, settings_);
    restarted.RestoreFromSettings();
    EXPECT_EQ(restarted.Level(kA), 0.5);
    EXPECT_EQ(restarted.Level(kB), 0.25);
    EXPECT_EQ(restarted.CurvePosition(), 1.0);
    EXPECT_EQ(Volume(main_, kA), -2800) << "main fader at -1: full curve gain times 0.5";
    EXPECT_EQ(Volume(main_, kB), kSilence);
    EXPECT_EQ(Volume(headphones_, kB), -4200);
}
