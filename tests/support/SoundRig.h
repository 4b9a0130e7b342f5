#pragma once

// What the tests of sound and outputs share: a sound system on the Offline
// backend with named devices, device objects and filled buffers on it,
// stepping a device's stream and reading what it rendered, and effects that
// let a test hold the audio thread inside a render call or count when an
// effect is freed.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "platform/Event.h"
#include "platform/sound/DirectSound.h"
#include "platform/sound/OfflineBackend.h"
#include "platform/sound/SoundBuffer.h"
#include "platform/sound/SoundSystem.h"

namespace sound_tests {

using namespace platform::sound;

constexpr uint32_t kAllControls =
    kCapsCtrlVolume | kCapsCtrlPan | kCapsCtrlFrequency | kCapsCtrlFx | kCapsCtrlPositionNotify;

// Renders nothing but silence.
struct SilentTarget final : RenderTarget {
    void Render(float* out, int frames, int channels) noexcept override {
        std::fill(out, out + static_cast<size_t>(frames) * channels, 0.0f);
    }
};

// Runs `work` with this process's stderr captured (gtest redirects the
// descriptor itself, so C libraries' messages are caught too); returns it.
template <typename Work>
std::string CaptureStderr(Work work) {
    testing::internal::CaptureStderr();
    work();
    return testing::internal::GetCapturedStderr();
}

struct SoundRig {
    explicit SoundRig(std::vector<OfflineBackend::Device> devices = {{"Desk", 2}})
        : backend(new OfflineBackend(std::move(devices))),
          system(std::make_unique<SoundSystem>(std::unique_ptr<OfflineBackend>(backend))) {}

    std::unique_ptr<DirectSound> Open(const std::string& description, int primaryChannels = 2) {
        std::unique_ptr<DirectSound> device;
        EXPECT_EQ(system->Create(OfflineBackend::IdOf(description), &device), kOk);
        const auto format = WaveFormat::Pcm(static_cast<uint16_t>(primaryChannels), 44'100);
        EXPECT_EQ(device ? device->SetPrimaryFormat(format) : kOk, kOk);
        return device;
    }

    static std::unique_ptr<SoundBuffer> Buffer(DirectSound& device, const std::vector<int16_t>& stereo,
                                               WaveFormat format = WaveFormat::Pcm(2, 44'100)) {
        const BufferDescription description{.flags = kAllControls,
                                            .bufferBytes = static_cast<uint32_t>(stereo.size() * 2),
                                            .format = &format};
        std::unique_ptr<SoundBuffer> buffer;
        EXPECT_EQ(device.CreateSoundBuffer(description, &buffer), kOk);
        EXPECT_EQ(buffer ? buffer->Write(0, stereo.data(), description.bufferBytes) : kOk, kOk);
        return buffer;
    }

    // The device's stream opened last.
    OfflineStream& Stream(const std::string& description) { return *backend->StreamOf(description); }

    // Steps the device's stream by `frames` and returns what it rendered since
    // the last take, interleaved.
    std::vector<int16_t> Render(const std::string& description, int frames) {
        Stream(description).Step(frames);
        return Stream(description).TakeCapture();
    }

    OfflineBackend* backend;
    std::unique_ptr<SoundSystem> system;
};

// Counts its own end, and notes the rate it was prepared for.
struct CountedEffect : SoundEffect {
    explicit CountedEffect(std::atomic<int>& freed) : freed_(freed) {}
    ~CountedEffect() override { freed_.fetch_add(1); }
    void Prepare(int sampleRate, int) override { preparedRate = sampleRate; }
    void Reset() noexcept override {}
    void Process(float*, int) noexcept override {}

    int preparedRate = 0;
    std::atomic<int>& freed_;
};

// Lets the sound through unchanged, but once armed, the next render call that
// reaches it signals `entered` and waits in it until `release` is set: the
// test then knows a render call is under way and for how long.
struct Gate {
    std::atomic<bool> armed{false};
    platform::Event entered{platform::Event::Reset::Manual, false};
    platform::Event release{platform::Event::Reset::Manual, false};
    std::atomic<int> freed{0};
};

struct GateEffect final : CountedEffect {
    explicit GateEffect(Gate& gate) : CountedEffect(gate.freed), gate_(gate) {}
    void Process(float*, int) noexcept override {
        if (!gate_.armed.exchange(false)) return;
        gate_.entered.Set();
        gate_.release.Wait();
    }
    Gate& gate_;
};

inline EffectChain ChainOf(std::unique_ptr<SoundEffect> effect) {
    EffectChain chain;
    chain.push_back(std::move(effect));
    return chain;
}

}  // namespace sound_tests
