#include "platform/sound/MixStream.h"

#include <algorithm>
#include <cmath>

#include "platform/Event.h"
#include "platform/sound/BufferVoice.h"
#include "platform/sound/Resampler.h"
#include "platform/sound/SoundTypes.h"

namespace platform::sound {
namespace {

bool Passed(uint32_t from, uint32_t to, uint32_t offset) noexcept {
    return from <= to ? (offset >= from && offset < to) : (offset >= from || offset < to);
}

// A position set by the window takes effect before anything plays.
void ApplyPendingPosition(BufferVoice& voice, uint64_t& published) noexcept {
    int64_t pending = voice.pendingPosition.load(std::memory_order_acquire);
    if (pending < 0) return;
    const auto frame = static_cast<uint32_t>(pending % voice.frames);
    voice.position = static_cast<uint64_t>(frame) << 32;
    // Only a Stop changes the cursor meanwhile; keep its count.
    while (!voice.cursor.compare_exchange_weak(published, BufferVoice::WithFrames(published, frame),
                                               std::memory_order_acq_rel)) {
    }
    published = BufferVoice::WithFrames(published, frame);
    voice.pendingPosition.compare_exchange_strong(pending, -1, std::memory_order_acq_rel);
}

// The gains volume and pan ask for. A buffer that starts plays at them from
// its first frame; one that plays on glides to them (AddWithGainRamp).
void UpdateGainTargets(BufferVoice& voice) noexcept {
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
        voice.gainLeft = voice.targetLeft;
        voice.gainRight = voice.targetRight;
        voice.wasPlaying = true;
        voice.seenPlayCount = playCount;
    }
}

// The buffer read at its own frequency, resampled to the stream's rate.
Resampler::Result ReadResampled(BufferVoice& voice, int streamRate, float* stereo, int frames) noexcept {
    const uint32_t frequency = voice.frequency.load(std::memory_order_relaxed);
    const uint64_t step = Resampler::StepFor(frequency == 0 ? voice.nominalRate : frequency, streamRate);
    const Resampler resampler(voice.data.get(), voice.frames, voice.channels);
    return resampler.Read(voice.position, step, voice.looping.load(std::memory_order_relaxed), stereo,
                          frames);
}

// Adds the voice's stereo sound into its channel pair, volume and pan gliding
// from the last call's values to the new ones so that a jump makes no click.
void AddWithGainRamp(BufferVoice& voice, const float* stereo, int produced, float* out,
                     int channels) noexcept {
    const auto n = static_cast<float>(produced);
    const float stepLeft = produced > 0 ? (voice.targetLeft - voice.gainLeft) / n : 0.0f;
    const float stepRight = produced > 0 ? (voice.targetRight - voice.gainRight) / n : 0.0f;
    float gainLeft = voice.gainLeft;
    float gainRight = voice.gainRight;
    const int left = voice.outputChannel;
    if (left + 1 < channels) {
        for (int f = 0; f < produced; ++f) {
            gainLeft += stepLeft;
            gainRight += stepRight;
            out[f * channels + left] += stereo[2 * f] * gainLeft;
            out[f * channels + left + 1] += stereo[2 * f + 1] * gainRight;
        }
    }
    voice.gainLeft = voice.targetLeft;
    voice.gainRight = voice.targetRight;
}

// Publishes the play cursor and signals the notifications it passed. A Stop
// since the call began wins: the cursor stays where Stop found it, and the
// caller puts the position back, so that a later Play resumes from there.
bool PublishCursor(BufferVoice& voice, uint64_t published, bool reachedEnd) noexcept {
    const uint32_t before = BufferVoice::CursorFrames(published);
    const uint32_t after = reachedEnd ? voice.frames - 1 : static_cast<uint32_t>(voice.position >> 32);
    if (!voice.cursor.compare_exchange_strong(published, BufferVoice::WithFrames(published, after),
                                              std::memory_order_acq_rel))
        return false;
    if (const auto* notifications = voice.notifications.load(std::memory_order_seq_cst);
        notifications && after != before) {
        const uint32_t blockAlign = 2u * static_cast<uint32_t>(voice.channels);
        for (const PositionNotify& n : *notifications)
            if (Passed(before * blockAlign, after * blockAlign, n.offset)) n.event->Set();
    }
    if (reachedEnd) voice.playing.store(false, std::memory_order_release);
    return true;
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
    if ((epoch & 1) != 0 || !epoch_.compare_exchange_strong(epoch, epoch + 1, std::memory_order_seq_cst))
        return;
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
    if (voice.frames == 0) return;
    // The cursor before `playing`: Stop clears `playing` before it counts
    // itself into the cursor, so a call that sees the new count also sees the stop.
    uint64_t published = voice.cursor.load(std::memory_order_acquire);
    ApplyPendingPosition(voice, published);
    if (!voice.playing.load(std::memory_order_acquire)) {
        voice.wasPlaying = false;
        return;
    }
    const uint64_t startPosition = voice.position;
    UpdateGainTargets(voice);

    float* stereo = scratch_.get();
    const Resampler::Result read =
        ReadResampled(voice, sampleRate_.load(std::memory_order_relaxed), stereo, frames);
    if (EffectChain* effects = voice.effects.load(std::memory_order_seq_cst)) {
        for (auto& effect : *effects) effect->Process(stereo, read.produced);
    }
    AddWithGainRamp(voice, stereo, read.produced, out, channels);
    if (!PublishCursor(voice, published, read.reachedEnd)) voice.position = startPosition;
}

}  // namespace platform::sound
