#include "output/CZelOutputDevice.h"

#include <cmath>
#include <vector>

#include "platform/MessagePort.h"
#include "platform/sound/DirectSound.h"
#include "platform/sound/SoundBuffer.h"
#include "platform/sound/SoundSystem.h"

namespace output {

using namespace platform::sound;

namespace {

constexpr int kFadeSteps = 500;
constexpr double kFadeTimeConstant = 500.0 / 3.0;  // 166.666... steps
constexpr float kGainRangeFactor = 0.56f;          // single precision, as the gain rule was fixed
const long kGainRange = static_cast<long>(10'000 * static_cast<double>(kGainRangeFactor));  // 5600

constexpr uint32_t kDeckBufferFlags =
    kCapsGetCurrentPosition2 | kCapsGlobalFocus | kCapsCtrlFx | kCapsCtrlVolume | kCapsCtrlFrequency | kCapsCtrlPan;

}  // namespace

long GainToVolume(double gain) {
    if (gain == 1.0) return 0;
    if (gain <= 0.0001) return kVolumeMin;
    return static_cast<long>(std::trunc(static_cast<double>(kGainRange) * gain)) - kGainRange;
}

void DefaultFadeStepWait() { platform::SleepDispatching(std::chrono::microseconds(100)); }

long FadeInVolume(long volume, int step) {
    const double range = static_cast<double>(volume) + 10'000.0;
    return static_cast<long>(std::trunc(range * (1.0 - std::exp(-step / kFadeTimeConstant)))) - 10'000;
}

long FadeOutVolume(long volume, int step) {
    const double range = static_cast<double>(volume) + 10'000.0;
    return static_cast<long>(std::trunc(range * std::exp(-step / kFadeTimeConstant))) - 10'000;
}

void SoftStart(SoundBuffer& buffer, const FadeStepWait& wait) { SoftStartAll({&buffer}, wait); }

void SoftStop(SoundBuffer& buffer, const FadeStepWait& wait) { SoftStopAll({&buffer}, wait); }

void SoftStartAll(const std::vector<SoundBuffer*>& buffers, const FadeStepWait& wait) {
    struct Fading {
        SoundBuffer* buffer;
        long saved;
    };
    std::vector<Fading> fading;
    for (SoundBuffer* buffer : buffers) {
        if (!buffer || buffer->IsPlaying()) continue;  // a playing buffer is not restarted
        long saved = 0;
        buffer->GetVolume(&saved);
        buffer->SetVolume(kVolumeMin);
        fading.push_back({buffer, saved});
    }
    if (fading.empty()) return;
    for (const Fading& f : fading) f.buffer->Play(true);
    for (int i = 0; i < kFadeSteps; ++i) {
        wait();
        for (const Fading& f : fading) f.buffer->SetVolume(FadeInVolume(f.saved, i));
    }
    for (const Fading& f : fading) f.buffer->SetVolume(f.saved);
}

void SoftStopAll(const std::vector<SoundBuffer*>& buffers, const FadeStepWait& wait) {
    struct Fading {
        SoundBuffer* buffer;
        long saved;
    };
    std::vector<Fading> fading;
    for (SoundBuffer* buffer : buffers) {
        if (!buffer || !buffer->IsPlaying()) continue;  // a stopped buffer is not faded
        long saved = 0;
        buffer->GetVolume(&saved);
        fading.push_back({buffer, saved});
    }
    if (fading.empty()) return;
    for (int i = 0; i < kFadeSteps; ++i) {
        wait();
        for (const Fading& f : fading) f.buffer->SetVolume(FadeOutVolume(f.saved, i));
    }
    for (const Fading& f : fading) {
        f.buffer->SetVolume(kVolumeMin);
        f.buffer->Stop();
        f.buffer->SetVolume(f.saved);
    }
}

CZelOutputDevice::CZelOutputDevice(SoundSystem& system) : system_(system) {}

CZelOutputDevice::~CZelOutputDevice() {
    for (int deck = 0; deck < engine::kDeckCount; ++deck) ReleaseDeckBuffers(deck);
    directSound_.reset();
}

HResult CZelOutputDevice::Create(const std::optional<DeviceId>& id, bool split, bool rear) {
    split_ = split;
    for (int deck = 0; deck < engine::kDeckCount; ++deck) ReleaseDeckBuffers(deck);
    directSound_.reset();

    std::unique_ptr<DirectSound> device;
    if (HResult hr = system_.Create(id, &device); !Succeeded(hr)) return hr;
    if (HResult hr = device->SetCooperativeLevel(kCooperativeExclusive); !Succeeded(hr)) return hr;
    // A whole output opens only the two channels it plays on: four would have
    // the sound server fold them back to stereo, quieter and for nothing. Only
    // a split half needs the rear pair; should the device refuse four, it
    // keeps two.
    if (!split || !Succeeded(device->SetPrimaryFormat(WaveFormat::Pcm(4, 44'100))))
        device->SetPrimaryFormat(WaveFormat::Pcm(2, 44'100));
    directSound_ = std::move(device);
    rear_ = rear;
    return kOk;
}

bool CZelOutputDevice::Failed() const { return directSound_ && directSound_->Failed(); }

HResult CZelOutputDevice::CreateDeckBuffers(int deck, uint32_t sampleRate, platform::Event* forwardNotify,
                                            platform::Event* backwardNotify) {
    if (deck < 0 || deck >= engine::kDeckCount) return kUnexpected;
    if (!directSound_) return kNotInitialized;
    ReleaseDeckBuffers(deck);

    WaveFormat format = WaveFormat::Pcm(2, sampleRate);
    if (split_) {
        format.formatTag = kFormatExtensible;
        format.extraSize = 22;
        format.validBitsPerSample = 16;
        format.subFormatPcm = true;
        format.channelMask = rear_ ? (kSpeakerBackLeft | kSpeakerBackRight) : (kSpeakerFrontLeft | kSpeakerFrontRight);
    }
    const bool notify = forwardNotify && backwardNotify;
    BufferDescription description;
    description.flags = kDeckBufferFlags | (notify ? kCapsCtrlPositionNotify : 0);
    description.bufferBytes = engine::kOutputBufferBytes;
    description.format = &format;

    Deck& d = decks_[deck];
    if (HResult hr = directSound_->CreateSoundBuffer(description, &d.forward); !Succeeded(hr)) return hr;
    if (HResult hr = directSound_->CreateSoundBuffer(description, &d.backward); !Succeeded(hr)) {
        d.forward.reset();
        return hr;
    }
    d.sampleRate = sampleRate;
    if (notify) {
        std::vector<PositionNotify> forward, backward;
        for (int i = 0; i < engine::kOutputBlocks; ++i) {
            const auto offset = static_cast<uint32_t>(i * engine::kBlockBytes + engine::kBlockBytes - 1);
            forward.push_back({offset, forwardNotify});
            backward.push_back({offset, backwardNotify});
        }
        d.forward->SetNotificationPositions(forward);
        d.backward->SetNotificationPositions(backward);
    }
    // Silence in every block; writing all 120 brings both cursors back to 0.
    const engine::SampleBlock silence{};
    for (int i = 0; i < engine::kOutputBlocks; ++i) {
        WriteForward(deck, silence);
        WriteBackward(deck, silence);
    }
    return kOk;
}

void CZelOutputDevice::ReleaseDeckBuffers(int deck) {
    Deck& d = decks_[deck];
    d.forward.reset();
    d.backward.reset();
    d.forwardCursor = 0;
    d.backwardCursor = 0;
}

HResult CZelOutputDevice::WriteForward(int deck, const engine::SampleBlock& block) {
    Deck& d = decks_[deck];
    if (!d.forward) return kNotInitialized;
    const HResult hr = d.forward->Write(d.forwardCursor, block.Bytes(), engine::kBlockBytes);
    d.forwardCursor = (d.forwardCursor + engine::kBlockBytes) % engine::kOutputBufferBytes;
    return hr;
}

HResult CZelOutputDevice::WriteBackward(int deck, const engine::SampleBlock& reversed) {
    Deck& d = decks_[deck];
    if (!d.backward) return kNotInitialized;
    const HResult hr = d.backward->Write(d.backwardCursor, reversed.Bytes(), engine::kBlockBytes);
    d.backwardCursor = d.backwardCursor >= static_cast<uint32_t>(engine::kBlockBytes)
                           ? d.backwardCursor - engine::kBlockBytes
                           : d.backwardCursor + engine::kOutputBufferBytes - engine::kBlockBytes;
    return hr;
}

HResult CZelOutputDevice::SetDeckGain(int deck, double gain) {
    if (deck < 0 || deck >= engine::kDeckCount) return kUnexpected;
    Deck& d = decks_[deck];
    if (!d.forward && !d.backward) return kNotInitialized;
    const long volume = GainToVolume(gain);
    if (d.forward) d.forward->SetVolume(volume);
    if (d.backward) d.backward->SetVolume(volume);
    return kOk;
}

HResult CZelOutputDevice::SetFrequency(int deck, uint32_t hz) {
    if (deck < 0 || deck >= engine::kDeckCount) return kUnexpected;
    Deck& d = decks_[deck];
    d.frequency = hz;
    if (!d.forward) return kNotInitialized;
    return d.forward->SetFrequency(hz);
}

}  // namespace output
