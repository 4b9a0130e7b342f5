#include "output/CZelOutputDevice.h"

#include <cmath>
#include <vector>

#include "output/DeckEffectChain.h"
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

constexpr uint32_t kDeckBufferFlags = kCapsGetCurrentPosition2 | kCapsGlobalFocus | kCapsCtrlFx |
                                      kCapsCtrlVolume | kCapsCtrlFrequency | kCapsCtrlPan;

}  // namespace

long GainToVolume(double gain) {
    if (gain == 1.0) return 0;
    if (gain <= 0.0001) return kVolumeMin;
    return static_cast<long>(std::trunc(static_cast<double>(kGainRange) * gain)) - kGainRange;
}

void DefaultFadeStepWait() {
    platform::SleepDispatching(std::chrono::microseconds(100));
}

long FadeInVolume(long volume, int step) {
    const double range = static_cast<double>(volume) + 10'000.0;
    return static_cast<long>(std::trunc(range * (1.0 - std::exp(-step / kFadeTimeConstant)))) - 10'000;
}

long FadeOutVolume(long volume, int step) {
    const double range = static_cast<double>(volume) + 10'000.0;
    return static_cast<long>(std::trunc(range * std::exp(-step / kFadeTimeConstant))) - 10'000;
}

namespace {

// Fades `count` buffers together; `buffer(i)` gives the i-th (a pointer or a
// shared_ptr), or null once it is gone: asked at every step, since each wait
// dispatches messages.
template <typename Resolve>
void FadeIn(size_t count, Resolve buffer, const FadeStepWait& wait) {
    std::vector<long> saved(count, 0);
    std::vector<bool> fading(count, false);
    bool any = false;
    for (size_t k = 0; k < count; ++k) {
        auto b = buffer(k);
        if (!b || b->IsPlaying()) continue;  // a playing buffer is not restarted
        b->GetVolume(&saved[k]);
        b->SetVolume(kVolumeMin);
        fading[k] = any = true;
    }
    if (!any) return;
    auto live = [&](size_t k) { return fading[k] ? buffer(k) : decltype(buffer(k)){}; };
    for (size_t k = 0; k < count; ++k)
        if (auto b = live(k)) b->Play(true);
    for (int i = 0; i < kFadeSteps; ++i) {
        wait();
        for (size_t k = 0; k < count; ++k)
            if (auto b = live(k)) b->SetVolume(FadeInVolume(saved[k], i));
    }
    for (size_t k = 0; k < count; ++k)
        if (auto b = live(k)) b->SetVolume(saved[k]);
}

template <typename Resolve>
void FadeOut(size_t count, Resolve buffer, const FadeStepWait& wait) {
    std::vector<long> saved(count, 0);
    std::vector<bool> fading(count, false);
    bool any = false;
    for (size_t k = 0; k < count; ++k) {
        auto b = buffer(k);
        if (!b || !b->IsPlaying()) continue;  // a stopped buffer is not faded
        b->GetVolume(&saved[k]);
        fading[k] = any = true;
    }
    if (!any) return;
    auto live = [&](size_t k) { return fading[k] ? buffer(k) : decltype(buffer(k)){}; };
    for (int i = 0; i < kFadeSteps; ++i) {
        wait();
        for (size_t k = 0; k < count; ++k)
            if (auto b = live(k)) b->SetVolume(FadeOutVolume(saved[k], i));
    }
    for (size_t k = 0; k < count; ++k) {
        if (auto b = live(k)) {
            b->SetVolume(kVolumeMin);
            b->Stop();
            b->SetVolume(saved[k]);
        }
    }
}

}  // namespace

void SoftStart(SoundBuffer& buffer, const FadeStepWait& wait) {
    FadeIn(
        1, [&](size_t) { return &buffer; }, wait);
}

void SoftStop(SoundBuffer& buffer, const FadeStepWait& wait) {
    FadeOut(
        1, [&](size_t) { return &buffer; }, wait);
}

// The buffers are looked up afresh at each step and not held between steps,
// so one released meanwhile is gone at once rather than kept alive, playing.
void SoftStartAll(const std::vector<BufferRef>& buffers, const FadeStepWait& wait) {
    FadeIn(
        buffers.size(), [&](size_t k) { return buffers[k].lock(); }, wait);
}

void SoftStopAll(const std::vector<BufferRef>& buffers, const FadeStepWait& wait) {
    FadeOut(
        buffers.size(), [&](size_t k) { return buffers[k].lock(); }, wait);
}

CZelOutputDevice::CZelOutputDevice(SoundSystem& system, const dsp::DeckShaping* shaping) : system_(system) {
    for (int deck = 0; deck < kDeckCount; ++deck)
        chains_[deck] = std::make_unique<DeckEffectChain>(deck, shaping);
}

CZelOutputDevice::~CZelOutputDevice() {
    for (int deck = 0; deck < kDeckCount; ++deck) ReleaseDeckBuffers(deck);
    directSound_.reset();
}

HResult CZelOutputDevice::Create(const std::optional<DeviceId>& id, bool split, bool rear) {
    split_ = split;
    for (int deck = 0; deck < kDeckCount; ++deck) ReleaseDeckBuffers(deck);
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

bool CZelOutputDevice::Failed() const {
    return directSound_ && directSound_->Failed();
}

HResult CZelOutputDevice::CreateDeckBuffers(int deck, uint32_t sampleRate, platform::Event* forwardNotify,
                                            platform::Event* backwardNotify) {
    if (deck < 0 || deck >= kDeckCount) return kUnexpected;
    if (!directSound_) return kNotInitialized;
    ReleaseDeckBuffers(deck);

    WaveFormat format = WaveFormat::Pcm(2, sampleRate);
    if (split_) {
        format.formatTag = kFormatExtensible;
        format.extraSize = 22;
        format.validBitsPerSample = 16;
        format.subFormatPcm = true;
        format.channelMask =
            rear_ ? (kSpeakerBackLeft | kSpeakerBackRight) : (kSpeakerFrontLeft | kSpeakerFrontRight);
    }
    const bool notify = forwardNotify && backwardNotify;
    BufferDescription description;
    description.flags = kDeckBufferFlags | (notify ? kCapsCtrlPositionNotify : 0);
    description.bufferBytes = kOutputBufferBytes;
    description.format = &format;

    Deck& d = decks_[deck];
    std::unique_ptr<SoundBuffer> forward, backward;
    if (HResult hr = directSound_->CreateSoundBuffer(description, &forward); !Succeeded(hr)) return hr;
    if (HResult hr = directSound_->CreateSoundBuffer(description, &backward); !Succeeded(hr)) return hr;
    d.forward = std::move(forward);
    d.backward = std::move(backward);
    d.sampleRate = sampleRate;
    if (notify) {
        std::vector<PositionNotify> forwardMarks, backwardMarks;
        for (int i = 0; i < kOutputBlocks; ++i) {
            const auto offset = static_cast<uint32_t>(i * kBlockBytes + kBlockBytes - 1);
            forwardMarks.push_back({offset, forwardNotify});
            backwardMarks.push_back({offset, backwardNotify});
        }
        d.forward->SetNotificationPositions(forwardMarks);
        d.backward->SetNotificationPositions(backwardMarks);
    }
    // Silence in every block; writing all 120 brings both cursors back to 0.
    static constexpr uint8_t silence[kBlockBytes] = {};
    for (int i = 0; i < kOutputBlocks; ++i) {
        WriteForward(deck, silence);
        WriteBackward(deck, silence);
    }
    chains_[deck]->Reinstall({d.forward, d.backward});
    return kOk;
}

void CZelOutputDevice::ReleaseDeckBuffers(int deck) {
    Deck& d = decks_[deck];
    d.forward.reset();
    d.backward.reset();
    d.forwardCursor = 0;
    d.backwardCursor = 0;
}

HResult CZelOutputDevice::WriteForward(int deck, BlockBytes block) {
    Deck& d = decks_[deck];
    if (!d.forward) return kNotInitialized;
    const HResult hr = d.forward->Write(d.forwardCursor, block.data(), kBlockBytes);
    d.forwardCursor = (d.forwardCursor + kBlockBytes) % kOutputBufferBytes;
    return hr;
}

HResult CZelOutputDevice::WriteBackward(int deck, BlockBytes reversed) {
    Deck& d = decks_[deck];
    if (!d.backward) return kNotInitialized;
    const HResult hr = d.backward->Write(d.backwardCursor, reversed.data(), kBlockBytes);
    d.backwardCursor = d.backwardCursor >= static_cast<uint32_t>(kBlockBytes)
                           ? d.backwardCursor - kBlockBytes
                           : d.backwardCursor + kOutputBufferBytes - kBlockBytes;
    return hr;
}

HResult CZelOutputDevice::SetDeckGain(int deck, double gain) {
    if (deck < 0 || deck >= kDeckCount) return kUnexpected;
    Deck& d = decks_[deck];
    if (!d.forward && !d.backward) return kNotInitialized;
    const long volume = GainToVolume(gain);
    if (d.forward) d.forward->SetVolume(volume);
    if (d.backward) d.backward->SetVolume(volume);
    return kOk;
}

HResult CZelOutputDevice::SetFrequency(int deck, uint32_t hz) {
    if (deck < 0 || deck >= kDeckCount) return kUnexpected;
    Deck& d = decks_[deck];
    d.frequency = hz;
    if (!d.forward) return kNotInitialized;
    return d.forward->SetFrequency(hz);
}

namespace {

bool ValidDeck(int deck) {
    return deck >= 0 && deck < kDeckCount;
}

}  // namespace

HResult CZelOutputDevice::EqualizerOn(int deck, const FadeStepWait& wait) {
    if (!ValidDeck(deck)) return kUnexpected;
    return chains_[deck]->EqualizerOn({decks_[deck].forward, decks_[deck].backward}, split_, wait);
}

HResult CZelOutputDevice::EqualizerOff(int deck, const FadeStepWait& wait) {
    if (!ValidDeck(deck)) return kUnexpected;
    return chains_[deck]->EqualizerOff({decks_[deck].forward, decks_[deck].backward}, wait);
}

HResult CZelOutputDevice::SetEqualizerBandGain(int deck, int band) {
    if (!ValidDeck(deck)) return kUnexpected;
    return chains_[deck]->SetEqualizerBandGain({decks_[deck].forward, decks_[deck].backward}, band);
}

HResult CZelOutputDevice::SetEffect(int deck, const QString& name, const FadeStepWait& wait) {
    if (!ValidDeck(deck)) return kUnexpected;
    return chains_[deck]->SetEffect({decks_[deck].forward, decks_[deck].backward}, split_, name, wait);
}

HResult CZelOutputDevice::SetEffectParameter(int deck, int index) {
    if (!ValidDeck(deck)) return kUnexpected;
    return chains_[deck]->SetEffectParameter({decks_[deck].forward, decks_[deck].backward}, split_, index);
}

bool CZelOutputDevice::IsEqualizerOn(int deck) const {
    return ValidDeck(deck) && chains_[deck]->IsEqualizerOn();
}

QString CZelOutputDevice::EffectName(int deck) const {
    return ValidDeck(deck) ? chains_[deck]->EffectName() : QString();
}

}  // namespace output
