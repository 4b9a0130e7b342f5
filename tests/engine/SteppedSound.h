#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sound/OfflineBackend.h"
#include "platform/sound/SoundSystem.h"

namespace engine {
class Engine;
class Playback;
struct EngineEvents;
}  // namespace engine

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
    explicit SteppedSound(Devices devices);

    platform::sound::SoundSystem& Sound() { return *sound_; }
    // The engine served after every period; its playback's fades step the devices.
    void Serve(engine::EngineEvents& events, engine::Engine& engine, engine::Playback& playback);
    // Renders on every open device, one period at a time, serving the engine after each.
    void Render(int periods);
    void RenderSeconds(double seconds) { Render(static_cast<int>(seconds * kRate / kPeriodFrames + 0.5)); }
    // Renders until `done` holds; false if a minute of sound did not bring it.
    bool RenderUntil(const std::function<bool()>& done);
    // Serves the engine until nothing it started is left to handle.
    void Settle();
    // Runs at every step of every fade, after its sound (tests act there).
    void SetFadeHook(std::function<void()> hook) { fadeHook_ = std::move(hook); }
    // The sound the device has played since the last call (16-bit stereo).
    std::vector<int16_t> Heard(const std::string& device);
    // One period on every open device, without serving the engine.
    void Step();

private:
    bool Idle() const;

    platform::sound::OfflineBackend* offline_;
    std::vector<std::string> devices_;
    std::unique_ptr<platform::sound::SoundSystem> sound_;
    engine::EngineEvents* events_ = nullptr;
    engine::Engine* engine_ = nullptr;
    engine::Playback* playback_ = nullptr;
    int fadeSteps_ = 0;
    std::function<void()> fadeHook_;
};

// How many samples of `frames` heard from frame `at` on are not the source's
// from frame `from` on, scaled by `gain`, to within `tolerance`.
size_t Mismatches(const std::vector<int16_t>& source, size_t from, const std::vector<int16_t>& heard,
                  size_t at, size_t frames, double gain = 1.0, double tolerance = 0.0);
// Where in `source` the heard frames from `at` on come from: the first place
// whose 32 frames match as above (noise never repeats); none if nowhere.
std::optional<size_t> FindInSource(const std::vector<int16_t>& source, const std::vector<int16_t>& heard,
                                   size_t at, double gain = 1.0, double tolerance = 0.0);
// The first frame with sound on the left channel (past a fade-in's silent start).
size_t FirstSound(const std::vector<int16_t>& stereo);
// Root mean square of one channel, relative to full scale.
double Rms(const std::vector<int16_t>& stereo, size_t fromFrame, size_t frames, int channel = 0);
// The longest run of frames that are silent on both channels.
size_t LongestSilence(const std::vector<int16_t>& stereo, size_t fromFrame, size_t toFrame);
// The largest step between neighbouring samples of one channel.
int LargestStep(const std::vector<int16_t>& stereo, size_t fromFrame, size_t toFrame, int channel = 0);

}  // namespace testing_support
