#pragma once

#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/COrvo2Dlg.h"
#include "app/CZelCommandLineInfo.h"
#include "engine/EngineEvents.h"
#include "platform/sound/OfflineBackend.h"
#include "platform/sound/SoundSystem.h"
#include "settings/CZelSettings.h"

class CZelDeck2;

namespace testing_support {

// The whole program's main window and decks on Offline devices that do not
// run by themselves: the test renders the sound one period at a time and,
// after each period, lets the engine handle everything that period caused
// (play notifications, refills of the ring) before the next. So a run hears
// the same on an idle machine as on a busy one, under any sanitizer.
class SteppedDesk {
public:
    static constexpr int kRate = 44'100;
    static constexpr int kPeriodFrames = 256;

    using Devices = std::vector<platform::sound::OfflineBackend::Device>;
    // `prepare` may write settings (a device choice) before the window opens.
    explicit SteppedDesk(Devices devices = {{"Desk", 2}, {"Phones", 2}},
                         const std::function<void(CZelSettings&)>& prepare = {});
    ~SteppedDesk();

    COrvo2Dlg& Window() { return *window_; }
    CZelDeck2& Deck(int deck);
    // The deck's clock, as the jog dial's gestures read it; tests move it.
    double& Clock() { return clock_; }

    // A WAV file of the tests' own in a folder that lives as long as the desk.
    std::string Track(const std::string& name, const std::vector<int16_t>& samples, int channels = 2,
                      int rate = kRate);

    // Renders on every open device, one period at a time, serving the engine
    // after each period.
    void Render(int periods);
    void RenderSeconds(double seconds) { Render(static_cast<int>(seconds * kRate / kPeriodFrames + 0.5)); }
    // Serves the engine until nothing it started is left to handle.
    void Settle();
    // Fades render sound as they go: one period every 50 of their 500 steps,
    // so a fade lasts ten periods (58 ms, as on a real machine). Nothing is
    // served in between: a fade may run inside the handling of a notification.
    static constexpr int kFadeStepsPerPeriod = 50;
    static constexpr int kFadePeriods = 500 / kFadeStepsPerPeriod;
    // Runs at every step of every fade, after its sound (tests act there).
    void SetFadeHook(std::function<void()> hook) { fadeHook_ = std::move(hook); }
    // The sound the device has played since the last call (16-bit stereo).
    std::vector<int16_t> Heard(const std::string& device);

private:
    bool Idle() const;
    void StepStreams();
    void FadeStep();

    QTemporaryDir dir_;
    engine::EngineEvents events_;
    app::CZelCommandLineInfo commandLine_;
    platform::sound::OfflineBackend* offline_ = nullptr;
    std::vector<std::string> devices_;
    std::unique_ptr<platform::sound::SoundSystem> sound_;
    std::unique_ptr<CZelSettings> settings_;
    std::unique_ptr<COrvo2Dlg> window_;
    double clock_ = 1000.0;
    int fadeSteps_ = 0;
    std::function<void()> fadeHook_;
};

// Root mean square of one channel, relative to full scale.
double Rms(const std::vector<int16_t>& stereo, size_t fromFrame, size_t frames, int channel = 0);
// The longest run of frames that are silent on both channels.
size_t LongestSilence(const std::vector<int16_t>& stereo, size_t fromFrame, size_t toFrame);
// The largest step between neighbouring samples of one channel.
int LargestStep(const std::vector<int16_t>& stereo, size_t fromFrame, size_t toFrame, int channel = 0);

}  // namespace testing_support
