#include "engine/SteppedSound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/Engine.h"
#include "engine/EngineEvents.h"
#include "engine/Playback.h"
#include "support/Waits.h"

namespace testing_support {

using platform::sound::OfflineBackend;

SteppedSound::SteppedSound(Devices devices) {
    for (const auto& device : devices) devices_.push_back(device.description);
    auto backend = std::make_unique<OfflineBackend>(std::move(devices), kRate, kPeriodFrames);
    offline_ = backend.get();
    sound_ = std::make_unique<platform::sound::SoundSystem>(std::move(backend));
}

void SteppedSound::Serve(engine::EngineEvents& events, engine::Engine& engine, engine::Playback& playback) {
    events_ = &events;
    engine_ = &engine;
    playback_ = &playback;
    playback.SetFadeStepWait([this] {
        if (++fadeSteps_ % kFadeStepsPerPeriod == 0) Step();
        if (fadeHook_) fadeHook_();
    });
}

bool SteppedSound::Idle() const {
    for (int deck = 0; deck < 2; ++deck) {
        const engine::DeckEvents& ev = events_->deck[deck];
        if (playback_->PlayingForward(deck) && ev.playForwardNotify.IsSet()) return false;
        if (playback_->PlayingBackward(deck) && ev.playBackwardNotify.IsSet()) return false;
        // A reader is idle once it waits and nothing has woken it.
        if (engine_->ReaderRunning(deck) && !(engine_->ReaderWaiting(deck) && !ev.discReadForward.IsSet()))
            return false;
    }
    return true;
}

void SteppedSound::Settle() {
    EXPECT_TRUE(WaitUntil([&] { return Idle(); })) << "the engine did not come to rest";
}

void SteppedSound::Step() {
    for (const std::string& device : devices_)
        if (auto* stream = offline_->StreamOf(device)) stream->Step(kPeriodFrames);
}

void SteppedSound::Render(int periods) {
    int rendered = 0;
    EXPECT_TRUE(RenderUntil([&] { return rendered++ == periods; }));
}

bool SteppedSound::RenderUntil(const std::function<bool()>& done) {
    Settle();
    for (int period = 0; !done(); ++period) {
        if (period > 60 * kRate / kPeriodFrames) return false;
        Step();
        Settle();
    }
    return true;
}

std::vector<int16_t> SteppedSound::Heard(const std::string& device) {
    auto* stream = offline_->StreamOf(device);
    return stream ? stream->TakeCapture() : std::vector<int16_t>{};
}

size_t Mismatches(const std::vector<int16_t>& source, size_t from, const std::vector<int16_t>& heard,
                  size_t at, size_t frames, double gain, double tolerance) {
    size_t off = 0;
    for (size_t i = 0; i < 2 * frames; ++i)
        off += std::abs(heard[2 * at + i] - source[2 * from + i] * gain) > tolerance;
    return off;
}

std::optional<size_t> FindInSource(const std::vector<int16_t>& source, const std::vector<int16_t>& heard,
                                   size_t at, double gain, double tolerance) {
    const auto alike = [&](int16_t s, int16_t h) { return std::abs(h - s * gain) <= tolerance; };
    for (size_t k = 0; heard.size() >= 2 * at + 64 && 2 * k + 64 <= source.size(); ++k)
        if (std::equal(&source[2 * k], &source[2 * k + 64], &heard[2 * at], alike)) return k;
    return std::nullopt;
}

size_t FirstSound(const std::vector<int16_t>& stereo) {
    size_t frame = 0;
    while (frame < stereo.size() / 2 && stereo[2 * frame] == 0) ++frame;
    return frame;
}

double Rms(const std::vector<int16_t>& stereo, size_t fromFrame, size_t frames, int channel) {
    const size_t end = std::min(stereo.size() / 2, fromFrame + frames);
    if (end <= fromFrame) return 0.0;
    double sum = 0.0;
    for (size_t f = fromFrame; f < end; ++f) sum += std::pow(stereo[2 * f + size_t(channel)] / 32768.0, 2);
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
    const size_t c = static_cast<size_t>(channel);
    for (size_t f = std::max<size_t>(fromFrame, 1); f < std::min(toFrame, stereo.size() / 2); ++f)
        largest = std::max(largest, std::abs(stereo[2 * f + c] - stereo[2 * (f - 1) + c]));
    return largest;
}

}  // namespace testing_support
