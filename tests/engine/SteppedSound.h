#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "engine/EngineEvents.h"
#include "engine/Playback.h"
#include "platform/sound/OfflineBackend.h"
#include "platform/sound/SoundSystem.h"
#include "support/Waits.h"

namespace testing_support {

// Offline devices that do not run by themselves: the test renders the sound
// one period at a time and, after each period, lets the engine handle all that
// period caused (play notifications, refills of the ring) before the next. So
// a run hears the same on an idle machine as on a busy one, under any sanitizer.
class SteppedSound {
public:
    static constexpr int kRate = 44'100;
    static constexpr int kPeriodFrames = 256;
    // Fades render sound as they go: one period every 50 of their 500 steps,
    // so a fade lasts ten periods (58 ms, as on a real machine). Nothing is
    // served in between: a fade may run inside the handling of a notification.
    static constexpr int kFadeStepsPerPeriod = 50;
    static constexpr int kFadePeriods = 500 / kFadeStepsPerPeriod;

    using Devices = std::vector<platform::sound::OfflineBackend::Device>;
    explicit SteppedSound(Devices devices)
        : offline_(new platform::sound::OfflineBackend(std::move(devices), kRate, kPeriodFrames)),
          sound_(std::unique_ptr<platform::sound::AudioBackend>(offline_)) {}

    platform::sound::SoundSystem& Sound() { return sound_; }
    // The engine served after every period; its playback's fades step the devices.
    void Serve(engine::EngineEvents& events, engine::Engine& engine, engine::Playback& playback) {
        idle_ = [&events, &engine, &playback] {
            for (int deck = 0; deck < 2; ++deck) {
                const engine::DeckEvents& ev = events.deck[deck];
                if (playback.PlayingForward(deck) && ev.playForwardNotify.IsSet()) return false;
                if (playback.PlayingBackward(deck) && ev.playBackwardNotify.IsSet()) return false;
                // A reader is idle once it waits and nothing has woken it.
                if (engine.ReaderRunning(deck) &&
                    !(engine.ReaderWaiting(deck) && !ev.discReadForward.IsSet()))
                    return false;
            }
            return true;
        };
        playback.SetFadeStepWait([this] {
            if (++fadeSteps_ % kFadeStepsPerPeriod == 0) Step();
            if (fadeHook_) fadeHook_();
        });
    }
    // Renders on every open device, one period at a time, serving the engine after each.
    void Render(int periods) {
        int rendered = 0;
        EXPECT_TRUE(RenderUntil([&] { return rendered++ == periods; }));
    }
    void RenderSeconds(double seconds) { Render(static_cast<int>(seconds * kRate / kPeriodFrames + 0.5)); }
    // Renders until `done` holds; false if a minute of sound did not bring it.
    bool RenderUntil(const std::function<bool()>& done) {
        Settle();
        for (int period = 0; !done(); ++period) {
            if (period > 60 * kRate / kPeriodFrames) return false;
            Step();
            Settle();
        }
        return true;
    }
    // Serves the engine until nothing it started is left to handle.
    void Settle() { EXPECT_TRUE(WaitUntil(idle_)) << "the engine did not come to rest"; }
    // Runs at every step of every fade, after its sound (tests act there).
    void SetFadeHook(std::function<void()> hook) { fadeHook_ = std::move(hook); }
    // The sound the device has played since the last call (16-bit stereo).
    std::vector<int16_t> Heard(const std::string& device) {
        auto* stream = offline_->StreamOf(device);
        return stream ? stream->TakeCapture() : std::vector<int16_t>{};
    }
    // One period on every open device, without serving the engine.
    void Step() {
        for (const auto& device : offline_->Devices())
            if (auto* stream = offline_->StreamOf(device.description)) stream->Step(kPeriodFrames);
    }

private:
    platform::sound::OfflineBackend* offline_;
    platform::sound::SoundSystem sound_;
    std::function<bool()> idle_;
    int fadeSteps_ = 0;
    std::function<void()> fadeHook_;
};

// Whether `frames` heard from frame `at` on are the source's from frame `from`
// on, scaled by `gain`, to within `tolerance`.
inline bool Alike(const std::vector<int16_t>& source, size_t from, const std::vector<int16_t>& heard,
                  size_t at, size_t frames, double gain = 1.0, double tolerance = 0.0) {
    const auto alike = [&](int16_t s, int16_t h) { return std::abs(h - s * gain) <= tolerance; };
    return 2 * (at + frames) <= heard.size() && 2 * (from + frames) <= source.size() &&
           std::equal(source.begin() + 2 * from, source.begin() + 2 * (from + frames), heard.begin() + 2 * at,
                      alike);
}
// Where in `source` the heard frames from `at` on come from: the first place
// whose 32 frames are alike (noise never repeats); none if nowhere.
inline std::optional<size_t> FindInSource(const std::vector<int16_t>& source,
                                          const std::vector<int16_t>& heard, size_t at, double gain = 1.0,
                                          double tolerance = 0.0) {
    for (size_t k = 0; 2 * k < source.size(); ++k)
        if (Alike(source, k, heard, at, 32, gain, tolerance)) return k;
    return std::nullopt;
}
// The first frame with sound on the left channel (past a fade-in's silent start).
inline size_t FirstSound(const std::vector<int16_t>& stereo) {
    size_t frame = 0;
    while (frame < stereo.size() / 2 && stereo[2 * frame] == 0) ++frame;
    return frame;
}
// Root mean square of the left channel, relative to full scale.
inline double Rms(const std::vector<int16_t>& stereo, size_t fromFrame, size_t frames) {
    const size_t end = std::min(stereo.size() / 2, fromFrame + frames);
    double sum = 0.0;
    for (size_t f = fromFrame; f < end; ++f) sum += std::pow(stereo[2 * f] / 32768.0, 2);
    return end > fromFrame ? std::sqrt(sum / static_cast<double>(end - fromFrame)) : 0.0;
}
// The longest run of frames that are silent on both channels.
inline size_t LongestSilence(const std::vector<int16_t>& stereo, size_t fromFrame) {
    size_t longest = 0, run = 0;
    for (size_t f = fromFrame; f < stereo.size() / 2; ++f) {
        run = (stereo[2 * f] == 0 && stereo[2 * f + 1] == 0) ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}
// The largest step between neighbouring samples of the left channel.
inline int LargestStep(const std::vector<int16_t>& stereo) {
    int largest = 0;
    for (size_t f = 1; f < stereo.size() / 2; ++f)
        largest = std::max(largest, std::abs(stereo[2 * f] - stereo[2 * (f - 1)]));
    return largest;
}

}  // namespace testing_support
