#include "app/SteppedDesk.h"

#include <gtest/gtest.h>

#include <QDir>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "deck/CZelDeck2.h"
#include "engine/Engine.h"
#include "engine/EngineHarness.h"
#include "engine/Playback.h"
#include "output/CZelOutput.h"
#include "support/AudioFixtures.h"

namespace testing_support {

using platform::sound::OfflineBackend;

SteppedDesk::SteppedDesk(Devices devices, const std::function<void(CZelSettings&)>& prepare) {
    for (const auto& device : devices) devices_.push_back(device.description);
    auto backend = std::make_unique<OfflineBackend>(std::move(devices), kRate, kPeriodFrames);
    backend->SetCaptureByDefault(true);
    offline_ = backend.get();
    sound_ = std::make_unique<platform::sound::SoundSystem>(std::move(backend));
    settings_ = std::make_unique<CZelSettings>(dir_.path() + "/settings.ini");
    settings_->WriteShowTipOfTheDay(false);
    if (prepare) prepare(*settings_);
    window_ = std::make_unique<COrvo2Dlg>(events_, commandLine_, *sound_, *settings_);
    window_->Playback().SetFadeStepWait([this] { FadeStep(); });
    for (int deck = 0; deck < 2; ++deck) window_->Deck(deck).Transport().SetClock([this] { return clock_; });
    EXPECT_TRUE(EngineHarness::WaitUntil(
        [&] { return window_->MainOutput().IsOpen() || window_->HeadphonesOutput().IsOpen(); }));
}

SteppedDesk::~SteppedDesk() {
    window_->done(0);
}

CZelDeck2& SteppedDesk::Deck(int deck) {
    return window_->Deck(deck);
}

std::string SteppedDesk::Track(const std::string& name, const std::vector<int16_t>& samples, int channels,
                               int rate) {
    const std::string path = QDir(dir_.path()).filePath(QString::fromStdString(name)).toStdString();
    EXPECT_TRUE(fixtures::WriteWav(path, samples, channels, rate));
    return path;
}

bool SteppedDesk::Idle() const {
    engine::Playback& playback = window_->Playback();
    engine::Engine& engine = window_->Engine();
    for (int deck = 0; deck < 2; ++deck) {
        const engine::DeckEvents& ev = events_.deck[deck];
        if (playback.PlayingForward(deck) && ev.playForwardNotify.IsSet()) return false;
        if (playback.PlayingBackward(deck) && ev.playBackwardNotify.IsSet()) return false;
        // A reader is idle once it waits and nothing has woken it.
        if (engine.ReaderRunning(deck) && !(engine.ReaderWaiting(deck) && !ev.discReadForward.IsSet()))
            return false;
    }
    return true;
}

void SteppedDesk::Settle() {
    EXPECT_TRUE(EngineHarness::WaitUntil([&] { return Idle(); }, std::chrono::seconds(20)))
        << "the engine did not come to rest";
}

void SteppedDesk::StepStreams() {
    for (const std::string& device : devices_)
        if (auto* stream = offline_->StreamOf(device)) stream->Step(kPeriodFrames);
}

void SteppedDesk::FadeStep() {
    if (++fadeSteps_ % kFadeStepsPerPeriod == 0) StepStreams();
    if (fadeHook_) fadeHook_();
}

void SteppedDesk::Render(int periods) {
    Settle();
    for (int i = 0; i < periods; ++i) {
        StepStreams();
        Settle();
    }
}

std::vector<int16_t> SteppedDesk::Heard(const std::string& device) {
    auto* stream = offline_->StreamOf(device);
    return stream ? stream->TakeCapture() : std::vector<int16_t>{};
}

double Rms(const std::vector<int16_t>& stereo, size_t fromFrame, size_t frames, int channel) {
    const size_t end = std::min(stereo.size() / 2, fromFrame + frames);
    if (end <= fromFrame) return 0.0;
    double sum = 0.0;
    for (size_t f = fromFrame; f < end; ++f) {
        const double x = stereo[2 * f + static_cast<size_t>(channel)] / 32768.0;
        sum += x * x;
    }
    return std::sqrt(sum / static_cast<double>(end - fromFrame));
}

size_t LongestSilence(const std::vector<int16_t>& stereo, size_t fromFrame, size_t toFrame) {
    size_t longest = 0, run = 0;
    for (size_t f = fromFrame; f < std::min(toFrame, stereo.size() / 2); ++f) {
        run = (stereo[2 * f] == 0 && stereo[2 * f + 1] == 0) ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

int LargestStep(const std::vector<int16_t>& stereo, size_t fromFrame, size_t toFrame, int channel) {
    int largest = 0;
    for (size_t f = std::max<size_t>(fromFrame, 1); f < std::min(toFrame, stereo.size() / 2); ++f) {
        const size_t c = static_cast<size_t>(channel);
        largest = std::max(largest, std::abs(stereo[2 * f + c] - stereo[2 * (f - 1) + c]));
    }
    return largest;
}

}  // namespace testing_support
