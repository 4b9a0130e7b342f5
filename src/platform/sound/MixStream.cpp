#include "platform/sound/MixStream.h"

#include <algorithm>
#include <cmath>

#include "platform/Event.h"
#include "platform/sound/BufferVoice.h"

namespace platform::sound {
namespace {

constexpr float kSampleScale = 1.0f / 32768.0f;
constexpr float kFractionScale = 1.0f / 4294967296.0f;

// 4-point, 3rd-order Hermite interpolation between x0 and x1; exact at t = 0.
inline float Hermite(float xm1, float x0, float x1, float x2, float t) noexcept {
    const float c1 = 0.5f * (x1 - xm1);
    const float c2 = xm1 - 2.5f * x0 + 2.0f * x1 - 0.5f * x2;
    const float c3 = 0.5f * (x2 - xm1) + 1.5f * (x0 - x1);
    return ((c3 * t + c2) * t + c1) * t + x0;
}

bool Passed(uint32_t from, uint32_t to, uint32_t offset) noexcept {
    return from <= to ? (offset >= from && offset < to) : (offset >= from || offset < to);
}

}  // namespace

float VolumeToGain(long volume) noexcept {
    if (volume <= -10'000) return 0.0f;
    if (volume >= 0) return 1.0f;
    return std::pow(10.0f, static_cast<float>(volume) / 2000.0f);
}

MixStream::MixStream() : scratch_(std::make_unique<float[]>(2 * kChunkFrames)) {
    for (auto& slot : voices_) slot.store(nullptr);
}

MixStream::~MixStream() = default;

void MixStream::SetStreamFormat(int sampleRate, int channels) {
    channels_.store(channels, std::memory_order_relaxed);
    if (sampleRate == sampleRate_.load(std::memory_order_relaxed)) return;
    sampleRate_.store(sampleRate, std::memory_order_relaxed);
    // Effects work at the stream's rate. Hold the render side while they are
    // prepared again, in case a replaced stream still calls; should one be
    // rendering right now, its effects keep their old rate.
    uint64_t epoch = epoch_.load(std::memory_order_relaxed);
    if ((epoch & 1) != 0 || !epoch_.compare_exchange_strong(epoch, epoch + 1, std::memory_order_seq_cst)) return;
    for (auto& slot : voices_) {
        BufferVoice* voice = slot.load(std::memory_order_seq_cst);
        EffectChain* effects = voice ? voice->effects.load(std::memory_order_seq_cst) : nullptr;
        if (!effects) continue;
        for (auto& effect : *effects) {
            effect->Prepare(sampleRate, 2);
            effect->Reset();
        }
    }
    epoch_.store(epoch + 2, std::memory_order_release);
}

bool MixStream::AddVoice(BufferVoice* voice) {
    CollectRetired();
    for (auto& slot : voices_) {
        BufferVoice* expected = nullptr;
        if (slot.compare_exchange_strong(expected, voice, std::memory_order_seq_cst)) return true;
    }
    return false;
}

void MixStream::RemoveVoice(std::unique_ptr<BufferVoice> voice) {
    for (auto& slot : voices_) {
        BufferVoice* expected = voice.get();
        if (slot.compare_exchange_strong(expected, nullptr, std::memory_order_seq_cst)) break;
    }
    Retire(std::move(voice));
}

void MixStream::RetireShared(std::shared_ptr<void> object) {
    // Read after the object was unpublished: a render call that starts later
    // cannot find it, so only one running now (odd epoch) may hold it.
    retired_.push_back({std::move(object), epoch_.load(std::memory_order_seq_cst)});
    CollectRetired();
}

size_t MixStream::CollectRetired() {
    const uint64_t now = epoch_.load(std::memory_order_acquire);
    const auto unreachable = [now](const Retired& r) { return (r.epoch & 1) == 0 || now > r.epoch; };
    const auto kept = std::remove_if(retired_.begin(), retired_.end(), unreachable);
    const auto freed = static_cast<size_t>(retired_.end() - kept);
    retired_.erase(kept, retired_.end());
    return freed;
}

void MixStream::Render(float* interleaved, int frames, int channels) noexcept {
    const size_t samples = static_cast<size_t>(frames) * channels;
    uint64_t epoch = epoch_.load(std::memory_order_relaxed);
    if ((epoch & 1) != 0 || !epoch_.compare_exchange_strong(epoch, epoch + 1, std::memory_order_seq_cst)) {
        std::fill(interleaved, interleaved + samples, 0.0f);
        return;
    }
    periodFrames_.store(frames, std::memory_order_relaxed);
    std::fill(interleaved, interleaved + samples, 0.0f);
    for (int done = 0; done < frames; done += kChunkFrames) {
        const int n = std::min(kChunkFrames, frames - done);
        float* out = interleaved + static_cast<size_t>(done) * channels;
        // Sequentially consistent loads pair with the user-interface thread's
        // unpublish-then-read-epoch, so a retired voice is never picked up late.
        for (auto& slot : voices_) {
            if (BufferVoice* voice = slot.load(std::memory_order_seq_cst)) MixVoice(*voice, out, n, channels);
        }
    }
    // Clip the sum rather than let the device wrap it.
    for (size_t i = 0; i < samples; ++i) interleaved[i] = std::clamp(interleaved[i], -1.0f, 1.0f);
    epoch_.store(epoch + 2, std::memory_order_release);
}

void MixStream::MixVoice(BufferVoice& voice, float* out, int frames, int channels) noexcept {
    const uint32_t bufferFrames = voice.frames;
    if (bufferFrames == 0) return;

    // The cursor before `playing`: Stop clears `playing` before it counts
    // itself into the cursor, so a call that sees the new count also sees the stop.
    uint64_t published = voice.cursor.load(std::memory_order_acquire);

    // A position set by the window takes effect before anything plays.
    int64_t pending = voice.pendingPosition.load(std::memory_order_acquire);
    if (pending >= 0) {
        const auto frame = static_cast<uint32_t>(pending % bufferFrames);
        voice.position = static_cast<uint64_t>(frame) << 32;
        // Only a Stop changes the cursor meanwhile; keep its count.
        while (!voice.cursor.compare_exchange_weak(published, BufferVoice::WithFrames(published, frame),
                                                   std::memory_order_acq_rel)) {
        }
        published = BufferVoice::WithFrames(published, frame);
        voice.pendingPosition.compare_exchange_strong(pending, -1, std::memory_order_acq_rel);
    }
    if (!voice.playing.load(std::memory_order_acquire)) {
        voice.wasPlaying = false;
        return;
    }
    const uint64_t startPosition = voice.position;

    const long volume = voice.volume.load(std::memory_order_relaxed);
    const long pan = voice.pan.load(std::memory_order_relaxed);
    if (volume != voice.cachedVolume || pan != voice.cachedPan) {
        const float gain = VolumeToGain(volume);
        voice.targetLeft = gain * (pan > 0 ? VolumeToGain(-pan) : 1.0f);
        voice.targetRight = gain * (pan < 0 ? VolumeToGain(pan) : 1.0f);
        voice.cachedVolume = volume;
        voice.cachedPan = pan;
    }
    const uint32_t playCount = voice.playCount.load(std::memory_order_acquire);
    if (!voice.wasPlaying || playCount != voice.seenPlayCount) {
        // A buffer that starts plays at its volume from the first frame.
        voice.gainLeft = voice.targetLeft;
        voice.gainRight = voice.targetRight;
        voice.wasPlaying = true;
        voice.seenPlayCount = playCount;
    }

    // Read the buffer at its own frequency, resampled to the stream's rate.
    const uint32_t frequency = voice.frequency.load(std::memory_order_relaxed);
    const uint64_t rate = frequency == 0 ? voice.nominalRate : frequency;
    const uint64_t step = (rate << 32) / static_cast<uint64_t>(sampleRate_);
    const uint64_t end = static_cast<uint64_t>(bufferFrames) << 32;
    const bool looping = voice.looping.load(std::memory_order_relaxed);
    const int16_t* data = voice.data.get();
    const int stride = voice.channels;
    const int lastChannel = voice.channels - 1;
    float* s = scratch_.get();

    auto sampleAt = [&](int64_t frame, int channel) -> float {
        if (frame < 0 || frame >= bufferFrames) {
            if (!looping) return 0.0f;
            frame = (frame % bufferFrames + bufferFrames) % bufferFrames;
        }
        return data[frame * stride + std::min(channel, lastChannel)] * kSampleScale;
    };

    int produced = 0;
    bool reachedEnd = false;
    for (; produced < frames; ++produced) {
        if (voice.position >= end) {
            if (!looping) {
                reachedEnd = true;
                break;
            }
            voice.position %= end;
        }
        const auto i = static_cast<int64_t>(voice.position >> 32);
        const auto fraction = static_cast<uint32_t>(voice.position);
        if (fraction == 0) {
            // On a frame: no interpolation, so unity frequency is bit-exact.
            const int16_t* frame = data + i * stride;
            s[2 * produced] = frame[0] * kSampleScale;
            s[2 * produced + 1] = frame[lastChannel] * kSampleScale;
        } else {
            const float t = static_cast<float>(fraction) * kFractionScale;
            if (i >= 1 && i + 2 < bufferFrames) {
                const int16_t* p = data + (i - 1) * stride;
                for (int c = 0; c < 2; ++c) {
                    const int k = std::min(c, lastChannel);
                    s[2 * produced + c] = Hermite(p[k] * kSampleScale, p[stride + k] * kSampleScale,
                                                  p[2 * stride + k] * kSampleScale, p[3 * stride + k] * kSampleScale, t);
                }
            } else {
                for (int c = 0; c < 2; ++c)
                    s[2 * produced + c] = Hermite(sampleAt(i - 1, c), sampleAt(i, c), sampleAt(i + 1, c),
                                                  sampleAt(i + 2, c), t);
            }
        }
        voice.position += step;
    }
    if (voice.position >= end) {
        if (looping) voice.position %= end;
        else reachedEnd = true;  // played to its last frame
    }

    if (EffectChain* effects = voice.effects.load(std::memory_order_seq_cst)) {
        for (auto& effect : *effects) effect->Process(s, produced);
    }

    // Volume and pan glide from the last call's values to the new ones.
    const float stepLeft = produced > 0 ? (voice.targetLeft - voice.gainLeft) / static_cast<float>(produced) : 0.0f;
    const float stepRight = produced > 0 ? (voice.targetRight - voice.gainRight) / static_cast<float>(produced) : 0.0f;
    float gainLeft = voice.gainLeft;
    float gainRight = voice.gainRight;
    const int left = voice.outputChannel;
    if (left + 1 < channels) {
        for (int f = 0; f < produced; ++f) {
            gainLeft += stepLeft;
            gainRight += stepRight;
            out[f * channels + left] += s[2 * f] * gainLeft;
            out[f * channels + left + 1] += s[2 * f + 1] * gainRight;
        }
    }
    voice.gainLeft = voice.targetLeft;
    voice.gainRight = voice.targetRight;

    // Publish the play cursor and signal the notifications it passed. A Stop
    // since this call began wins: the cursor stays where Stop found it, and so
    // does the position a later Play resumes from.
    const uint32_t before = BufferVoice::CursorFrames(published);
    const uint32_t after = reachedEnd ? bufferFrames - 1 : static_cast<uint32_t>(voice.position >> 32);
    if (!voice.cursor.compare_exchange_strong(published, BufferVoice::WithFrames(published, after),
                                              std::memory_order_acq_rel)) {
        voice.position = startPosition;
        return;
    }
    if (const auto* notifications = voice.notifications.load(std::memory_order_seq_cst); notifications && after != before) {
        const uint32_t blockAlign = 2u * static_cast<uint32_t>(voice.channels);
        for (const PositionNotify& n : *notifications)
            if (Passed(before * blockAlign, after * blockAlign, n.offset)) n.event->Set();
    }
    if (reachedEnd) voice.playing.store(false, std::memory_order_release);
}

}  // namespace platform::sound
