#include "platform/sound/SoundBuffer.h"

#include <algorithm>
#include <cstring>

#include "platform/sound/MixStream.h"

namespace platform::sound {

SoundBuffer::SoundBuffer(std::shared_ptr<MixStream> stream, const BufferDescription& description,
                         int outputChannel)
    : stream_(std::move(stream)), format_(*description.format), flags_(description.flags) {
    voice_ = std::make_unique<BufferVoice>(description.bufferBytes, format_.channels,
                                           format_.samplesPerSecond, outputChannel);
    registered_ = stream_ && stream_->AddVoice(voice_.get());
}

SoundBuffer::~SoundBuffer() {
    voice_->playing.store(false);
    if (!registered_) return;
    // A render call may be reading the voice, its notifications and its
    // effects right now: the mixer keeps them until it has returned. The voice
    // leaves the mix first, so nothing reaches the other two after it.
    stream_->RemoveVoice(std::move(voice_));
    stream_->Retire(std::move(notifications_));
    stream_->Retire(std::move(effects_));
}

HResult SoundBuffer::Play(bool looping) {
    if (!registered_) return kUnexpected;
    voice_->looping.store(looping, std::memory_order_release);
    voice_->playCount.fetch_add(1, std::memory_order_acq_rel);
    voice_->playing.store(true, std::memory_order_release);
    return kOk;
}

HResult SoundBuffer::Stop() {
    // Counted into the cursor after `playing` is cleared: a render call under
    // way cannot publish its cursor any more, so after Stop returns the cursor
    // no longer moves, without waiting for that call to end.
    voice_->playing.store(false, std::memory_order_seq_cst);
    voice_->cursor.fetch_add(BufferVoice::kStopUnit, std::memory_order_acq_rel);
    return kOk;
}

bool SoundBuffer::IsPlaying() const {
    return voice_->playing.load(std::memory_order_acquire);
}

HResult SoundBuffer::GetCurrentPosition(uint32_t* play, uint32_t* write) const {
    const uint32_t blockAlign = format_.blockAlign;
    const int64_t pending = voice_->pendingPosition.load(std::memory_order_acquire);
    const uint32_t frame =
        pending >= 0 ? static_cast<uint32_t>(pending) : BufferVoice::CursorFrames(voice_->cursor.load());
    const uint32_t playByte = frame * blockAlign;
    if (play) *play = playByte;
    if (write) {
        // The mixer may already have read one period ahead of the cursor.
        uint32_t lead = 0;
        if (IsPlaying() && stream_) {
            const uint64_t rate = voice_->frequency.load() ? voice_->frequency.load() : voice_->nominalRate;
            lead = static_cast<uint32_t>(rate * static_cast<uint64_t>(stream_->PeriodFrames()) /
                                             static_cast<uint64_t>(std::max(1, stream_->SampleRate())) +
                                         1) *
                   blockAlign;
        }
        *write = (playByte + lead) % Size();
    }
    return kOk;
}

HResult SoundBuffer::SetCurrentPosition(uint32_t bytes) {
    if (bytes >= Size()) return kInvalidParam;
    voice_->pendingPosition.store(bytes / format_.blockAlign, std::memory_order_release);
    return kOk;
}

HResult SoundBuffer::SetVolume(long volume) {
    if (!(flags_ & kCapsCtrlVolume)) return kControlUnavailable;
    if (volume < kVolumeMin || volume > kVolumeMax) return kInvalidParam;
    voice_->volume.store(volume, std::memory_order_relaxed);
    return kOk;
}

HResult SoundBuffer::GetVolume(long* volume) const {
    if (!(flags_ & kCapsCtrlVolume)) return kControlUnavailable;
    *volume = voice_->volume.load(std::memory_order_relaxed);
    return kOk;
}

HResult SoundBuffer::SetPan(long pan) {
    if (!(flags_ & kCapsCtrlPan)) return kControlUnavailable;
    if (pan < kPanLeft || pan > kPanRight) return kInvalidParam;
    voice_->pan.store(pan, std::memory_order_relaxed);
    return kOk;
}

HResult SoundBuffer::GetPan(long* pan) const {
    if (!(flags_ & kCapsCtrlPan)) return kControlUnavailable;
    *pan = voice_->pan.load(std::memory_order_relaxed);
    return kOk;
}

HResult SoundBuffer::SetFrequency(uint32_t hz) {
    if (!(flags_ & kCapsCtrlFrequency)) return kControlUnavailable;
    if (hz != kFrequencyOriginal && (hz < kFrequencyMin || hz > kFrequencyMax)) return kInvalidParam;
    voice_->frequency.store(hz, std::memory_order_relaxed);
    return kOk;
}

HResult SoundBuffer::GetFrequency(uint32_t* hz) const {
    if (!(flags_ & kCapsCtrlFrequency)) return kControlUnavailable;
    const uint32_t set = voice_->frequency.load(std::memory_order_relaxed);
    *hz = set == kFrequencyOriginal ? voice_->nominalRate : set;
    return kOk;
}

HResult SoundBuffer::Write(uint32_t offset, const void* data, uint32_t bytes) {
    void* first = nullptr;
    void* second = nullptr;
    uint32_t firstBytes = 0, secondBytes = 0;
    if (HResult hr = Lock(offset, bytes, &first, &firstBytes, &second, &secondBytes); !Succeeded(hr))
        return hr;
    std::memcpy(first, data, firstBytes);
    if (second) std::memcpy(second, static_cast<const uint8_t*>(data) + firstBytes, secondBytes);
    return Unlock(first, firstBytes, second, secondBytes);
}

HResult SoundBuffer::Lock(uint32_t offset, uint32_t bytes, void** first, uint32_t* firstBytes, void** second,
                          uint32_t* secondBytes) {
    if (offset >= Size() || bytes == 0 || bytes > Size() || !first || !firstBytes) return kInvalidParam;
    auto* base = reinterpret_cast<uint8_t*>(voice_->data.get());
    const uint32_t tail = Size() - offset;
    *first = base + offset;
    *firstBytes = std::min(bytes, tail);
    const uint32_t rest = bytes - *firstBytes;
    if (second) *second = rest ? base : nullptr;
    if (secondBytes) *secondBytes = rest;
    if (rest && (!second || !secondBytes)) return kInvalidParam;
    return kOk;
}

HResult SoundBuffer::Unlock(void*, uint32_t, void*, uint32_t) {
    return kOk;
}

HResult SoundBuffer::SetNotificationPositions(std::span<const PositionNotify> positions) {
    if (!(flags_ & kCapsCtrlPositionNotify)) return kControlUnavailable;
    if (IsPlaying()) return kInvalidCall;
    for (const auto& p : positions)
        if (p.offset >= Size() || !p.event) return kInvalidParam;
    auto table = std::make_unique<std::vector<PositionNotify>>(positions.begin(), positions.end());
    std::sort(table->begin(), table->end(), [](const auto& a, const auto& b) { return a.offset < b.offset; });
    voice_->notifications.store(table.get(), std::memory_order_seq_cst);
    if (registered_) stream_->Retire(std::move(notifications_));
    notifications_ = std::move(table);
    return kOk;
}

HResult SoundBuffer::SetFX(EffectChain effects) {
    if (!(flags_ & kCapsCtrlFx)) return kControlUnavailable;
    if (IsPlaying()) return kInvalidCall;
    std::unique_ptr<EffectChain> chain;
    if (!effects.empty()) {
        chain = std::make_unique<EffectChain>(std::move(effects));
        const int rate = stream_ ? stream_->SampleRate() : static_cast<int>(format_.samplesPerSecond);
        for (auto& effect : *chain) {
            if (!effect) return kInvalidParam;
            effect->Prepare(rate, 2);
            effect->Reset();
        }
    }
    voice_->effects.store(chain.get(), std::memory_order_seq_cst);
    // The old chain is freed once the mixer can no longer be using it.
    if (registered_) stream_->Retire(std::move(effects_));
    effects_ = std::move(chain);
    return kOk;
}

HResult SoundBuffer::GetObjectInPath(size_t index, SoundEffect** effect) const {
    if (!effect) return kInvalidParam;
    if (!effects_ || index >= effects_->size()) return kObjectNotFound;
    *effect = (*effects_)[index].get();
    return kOk;
}

HResult SoundBuffer::GetObjectInPath(const EffectClassId& classId, size_t index, SoundEffect** effect) const {
    if (!effect) return kInvalidParam;
    if (effects_) {
        for (const auto& candidate : *effects_) {
            if (candidate->ClassId() != classId) continue;
            if (index-- == 0) {
                *effect = candidate.get();
                return kOk;
            }
        }
    }
    return kObjectNotFound;
}

BufferVoice::BufferVoice(uint32_t bytes_, int channels_, uint32_t rate, int outputChannel_)
    : data(std::make_unique<int16_t[]>(bytes_ / 2 + 1)),
      bytes(bytes_),
      channels(channels_),
      frames(bytes_ / (2u * static_cast<uint32_t>(channels_))),
      nominalRate(rate),
      outputChannel(outputChannel_) {}

}  // namespace platform::sound
