#pragma once

#include <QTest>

#include "app/COrvo2Dlg.h"
#include "app/CZelCommandLineInfo.h"
#include "deck/CZelDeck2.h"
#include "engine/EngineHarness.h"  // with what the engine tests include
#include "output/CZelOutput.h"
#include "output/CZelOutputDevice.h"
#include "settings/CZelSettings.h"
#include "ui/controls/CZelButton.h"
#include "ui/controls/CZelKnob.h"
#include "ui/controls/CZelSlide.h"

namespace testing_support {

// The whole program's main window and decks on Offline devices that the test
// steps period by period (see SteppedSound). It includes what the window tests share.
class SteppedDesk : public SteppedSound {
public:
    // `prepare` may write settings (a device choice) before the window opens.
    explicit SteppedDesk(Devices devices = {{"Desk", 2}, {"Phones", 2}},
                         const std::function<void(CZelSettings&)>& prepare = {})
        : SteppedSound(std::move(devices)), settings_(QString::fromStdString(files.Path("settings.ini"))) {
        settings_.WriteShowTipOfTheDay(false);
        if (prepare) prepare(settings_);
        window_ = std::make_unique<COrvo2Dlg>(events_, commandLine_, Sound(), settings_);
        Serve(events_, window_->Engine(), window_->Playback());
        for (int deck = 0; deck < 2; ++deck) Deck(deck).Transport().SetClock([this] { return clock_; });
        EXPECT_TRUE(WaitUntil(
            [&] { return window_->MainOutput().IsOpen() || window_->HeadphonesOutput().IsOpen(); }));
    }
    // The fade waits and hooks a test set may refer to its locals, gone by now.
    ~SteppedDesk() {
        SetFadeHook({});
        Serve(events_, window_->Engine(), window_->Playback());
        window_->done(0);
    }

    COrvo2Dlg& Window() { return *window_; }
    CZelDeck2& Deck(int deck) { return window_->Deck(deck); }
    CZelSettings& Settings() { return settings_; }
    // The decks' clock, as the jog dial's gestures read it; tests move it.
    double& Clock() { return clock_; }

    // Loads the file into the deck as "Browse..." in its chooser does.
    void Load(int deck, const std::string& path) {
        Deck(deck).SetFileChooser(
            [path](QWidget*, const QString&) { return QStringList{QString::fromStdString(path)}; });
        Deck(deck).ChooseSource(engine::DeckTransport::kBrowseEntry);
        EXPECT_EQ(Deck(deck).Transport().Kind(), engine::DeckTransport::SourceKind::File) << path;
    }

    TrackFolder files;  // the tests' own files, and the settings

private:
    engine::EngineEvents events_;
    app::CZelCommandLineInfo commandLine_;
    CZelSettings settings_;
    std::unique_ptr<COrvo2Dlg> window_;
    double clock_ = 1000.0;
};

// The named child control (a failure when there is none).
template <typename Control>
Control* Find(QObject& parent, const char* name) {
    auto* control = parent.findChild<Control*>(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
}

}  // namespace testing_support
