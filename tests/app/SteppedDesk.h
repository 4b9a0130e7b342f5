#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/COrvo2Dlg.h"
#include "app/CZelCommandLineInfo.h"
#include "engine/EngineEvents.h"
#include "engine/SteppedSound.h"
#include "settings/CZelSettings.h"

class CZelDeck2;

namespace testing_support {

// The whole program's main window and decks on Offline devices that the test
// steps period by period (see SteppedSound).
class SteppedDesk : public SteppedSound {
public:
    // `prepare` may write settings (a device choice) before the window opens.
    explicit SteppedDesk(Devices devices = {{"Desk", 2}, {"Phones", 2}},
                         const std::function<void(CZelSettings&)>& prepare = {});
    ~SteppedDesk();

    COrvo2Dlg& Window() { return *window_; }
    CZelDeck2& Deck(int deck);
    CZelSettings& Settings() { return settings_; }
    // The decks' clock, as the jog dial's gestures read it; tests move it.
    double& Clock() { return clock_; }

    // A WAV file of the tests' own in a folder that lives as long as the desk.
    std::string Track(const std::string& name, const std::vector<int16_t>& samples, int channels = 2,
                      int rate = kRate);
    // Loads the file into the deck as "Browse..." in its chooser does.
    void Load(int deck, const std::string& path);

private:
    QTemporaryDir dir_;
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
