#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/sound/AudioBackend.h"

namespace platform::sound {

struct BufferVoice;

// The mixer of one physical stream: every playing buffer is read at its
// frequency, resampled to the stream's rate, run through its effects, scaled by
// its volume and pan and summed into its channel pair. Buffers join and leave
// through atomic slots; a buffer that leaves is freed by its owner only after
// the render call that may still use it has returned.
class MixStream final : public RenderTarget {
public:
    static constexpr int kMaxVoices = 64;
    static constexpr int kChunkFrames = 512;

    MixStream();
    ~MixStream() override;

    // Before the stream starts; the rate and channels of the real stream.
    void SetStreamFormat(int sampleRate, int channels);
    int SampleRate() const { return sampleRate_; }
    int Channels() const { return channels_; }
    // Frames per render call, as far as known: bounds the write cursor's lead.
    int PeriodFrames() const { return periodFrames_.load(std::memory_order_relaxed); }

    // UI thread.
    bool AddVoice(BufferVoice* voice);
    void RemoveVoice(BufferVoice* voice);
    // Returns when no render call that started before this call is still
    // running (at once when none runs, or the stream has stopped calling).
    void WaitForRenderBoundary() const;

    // Audio thread.
    void Render(float* interleaved, int frames, int channels) noexcept override;

    // Counts render calls; odd while one runs.
    uint64_t Epoch() const { return epoch_.load(std::memory_order_seq_cst); }

private:
    void MixVoice(BufferVoice& voice, float* out, int frames, int channels) noexcept;

    std::array<std::atomic<BufferVoice*>, kMaxVoices> voices_{};
    std::atomic<uint64_t> epoch_{0};
    std::atomic<int> periodFrames_{256};
    int sampleRate_ = 44'100;
    int channels_ = 2;
    std::unique_ptr<float[]> scratch_;  // one chunk of a voice's resampled stereo sound
};

}  // namespace platform::sound
