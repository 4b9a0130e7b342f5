// The mixing desk without a window: recording decks and a fake view stand for
// the deck windows and the main window.

#include "app/CZelCommandLineInfo.h"
#include "app/DeskView.h"
#include "app/MixingDesk.h"
#include "engine/EngineHarness.h"
#include "engine/StreamTime.h"
#include "output/CZelOutput.h"
#include "output/CZelOutputDevice.h"
#include "output/SoundDeviceChoice.h"
#include "settings/CZelSettings.h"

namespace {

using platform::Message;
using testing_support::EngineHarness;

struct FakeView final : app::DeskView {
    void SetHeadphonesVolumeSlide(bool enabled, std::optional<double>) override { headphonesSlide = enabled; }
    void SetMasterVolumeSlide(bool enabled, std::optional<double>) override { masterSlide = enabled; }
    void SwitchDeckProcessingOff(int) override {}
    void EnableDeckProcessingSwitches(bool) override {}
    void ShowDevices(const QString& text) override { devices = text; }
    void OnToolWindowClosed(int, int) override {}
    bool DecksBusy() const override { return busy; }
    void UnloadDecks() override { ++unloads; }

    bool headphonesSlide = false, masterSlide = false, busy = false;
    QString devices;
    int unloads = 0;
};

class MixingDeskTest : public ::testing::Test {
protected:
    MixingDeskTest() {
        desk_.SetView(&view_);
        for (int d = 0; d < 2; ++d) desk_.SetDeckLink(d, &decks_[d]);
    }
    ~MixingDeskTest() override { desk_.Shutdown(); }

    // The chooser's first choice: main on the first device, headphones on the second.
    app::MixingDesk::DeviceSelection FirstChoice() {
        output::SoundDeviceChoice choice;
        choice.Open(desk_.Probe(), "", "");
        const auto& kept = choice.Ok();
        return {kept.headphones.id, kept.headphones.label, kept.main.id, kept.main.label, 20};
    }

    testing_support::TrackFolder files_;
    engine::EngineEvents events_;
    testing_support::SteppedSound sound_{{{"Desk", 2}, {"Phones", 2}}};
    CZelSettings settings_{QString::fromStdString(files_.Path("settings.ini"))};
    testing_support::RecordingDeck decks_[2];
    FakeView view_;
    app::MixingDesk desk_{events_, sound_.Sound(), settings_};
};

TEST_F(MixingDeskTest, ADeviceChoiceOpensBothOutputsAndShowsThem) {
    desk_.ApplyDeviceChoice(FirstChoice());
    EXPECT_TRUE(view_.masterSlide && view_.headphonesSlide) << "both open";
    EXPECT_EQ(view_.devices, "Main: Desk\nHeadphones: Phones");
    EXPECT_EQ(view_.unloads, 0) << "the start-up choice leaves the decks alone";

    // A confirmed choice with headphones disabled, asked for while a deck waits for the engine.
    app::MixingDesk::DeviceSelection mainOnly = FirstChoice();
    mainOnly.headphonesId.reset();
    view_.busy = true;
    desk_.ApplyNewDeviceChoice(mainOnly);
    EXPECT_TRUE(desk_.HeadphonesOutput().IsOpen()) << "nothing changes under a waiting action";
    EXPECT_EQ(view_.unloads, 0);
    view_.busy = false;
    ASSERT_TRUE(EngineHarness::WaitUntil([&] { return !desk_.HeadphonesOutput().IsOpen(); }));
    EXPECT_EQ(view_.unloads, 1) << "both decks are unloaded before the outputs change";
    EXPECT_FALSE(view_.headphonesSlide);
    EXPECT_EQ(view_.devices, "Main: Desk\nHeadphones: Disabled");
}

TEST_F(MixingDeskTest, EngineMessagesReachTheDeckTheyNameAndItsBuffers) {
    desk_.ApplyDeviceChoice(FirstChoice());
    const std::string path = files_.Wav("short.wav", fixtures::Sine(440.0, 0.5, 48'000, 2), 2, 48'000);
    ASSERT_TRUE(desk_.Engine().LoadFile(1, path));
    // A short file primes its deck and reaches its end at once.
    ASSERT_TRUE(EngineHarness::WaitUntil(
        [&] { return !decks_[1].primedRates.empty() && decks_[1].trackChangesPending > 0; }));
    EXPECT_EQ(decks_[1].primedRates, std::vector<uint32_t>{48'000});
    EXPECT_EQ(desk_.MainOutput().Device()->DeckSampleRate(1), 48'000u) << "the primed deck's buffers exist";
    EXPECT_FALSE(decks_[1].knownLengths.empty()) << "the engine learnt the length at the end of the track";
    EXPECT_TRUE(decks_[0].primedRates.empty() && decks_[0].trackChangesPending == 0);

    desk_.MessagePort().Send(Message::TempoChanged, platform::TempoArgs{1, 50'000});
    EXPECT_EQ(desk_.MainOutput().Device()->Frequency(1), 50'000u);
    EXPECT_EQ(desk_.HeadphonesOutput().Device()->Frequency(1), 50'000u);
    EXPECT_NE(desk_.MainOutput().Device()->Frequency(0), 50'000u);

    desk_.MessagePort().Send(Message::ReportQueuedBytes, platform::DeckArgs{1});
    EXPECT_EQ(decks_[1].queuedTimes, std::vector<int>{engine::OutputBufferedBytes(desk_.Engine().Ledger(1))});
    EXPECT_TRUE(decks_[0].queuedTimes.empty());

    // The equalizer and effects windows' messages reach the deck on both outputs.
    desk_.Shaping().EffectParameters().SetChosenEffect(1, "Reverb");
    desk_.MessagePort().Send(Message::EqualizerOn, platform::DeckArgs{1});
    desk_.MessagePort().Send(Message::EffectOn, platform::DeckArgs{1});
    for (output::CZelOutput* out : {&desk_.MainOutput(), &desk_.HeadphonesOutput()}) {
        EXPECT_TRUE(out->Device()->IsEqualizerOn(1));
        EXPECT_FALSE(out->Device()->IsEqualizerOn(0));
        EXPECT_EQ(out->Device()->EffectName(1), "Reverb");
    }
    desk_.MessagePort().Send(Message::EffectOff, platform::DeckArgs{1});
    desk_.MessagePort().Send(Message::EqualizerOff, platform::DeckArgs{1});
    for (output::CZelOutput* out : {&desk_.MainOutput(), &desk_.HeadphonesOutput()}) {
        EXPECT_FALSE(out->Device()->IsEqualizerOn(1));
        EXPECT_EQ(out->Device()->EffectName(1), "No Effect");
    }
}

TEST_F(MixingDeskTest, TheCueMarkCloseQuestionAndCommandLineSeeTheDecksThroughTheirLinks) {
    desk_.Mixer().OnCueOnChanged(true);
    decks_[1].cueOn = true;
    desk_.Mixer().OnMainCrossFaderChanged(-0.5);
    desk_.Mixer().OnMainCrossFaderChanged(0.5);  // across the mark, from deck A's side to deck B's
    EXPECT_EQ(decks_[1].toggles, 1);
    EXPECT_FALSE(desk_.AnyDeckPlaying());
    decks_[1].playing = true;
    EXPECT_TRUE(desk_.AnyDeckPlaying());

    // Files named on the command line load into deck A until the window closes.
    app::CZelCommandLineInfo commandLine;
    commandLine.ParseArguments({"a.wav", "b.mp3", "c.wav"});
    int asked = 0;
    desk_.LoadCommandLineFiles(commandLine, [&] { return ++asked == 2; });
    EXPECT_EQ(decks_[0].loads, (std::vector<std::string>{"a.wav", "b.mp3"}));
    EXPECT_TRUE(decks_[1].loads.empty());
}

}  // namespace
