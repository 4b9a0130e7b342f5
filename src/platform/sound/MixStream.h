#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/sound/AudioBackend.h"

namespace platform::sound {

struct BufferVoice;

// The mixer of one physical stream: every playing buffer is read at its
// frequency, resampled to the stream's rate, run through its effects, scaled by
// its volume and pan and summed into its channel pair. Buffers join and leave
// through atomic slots. What the audio thread may still be reading when it is
// replaced or released (a voice, a notification table, an effect chain) is
// retired here, tagged with the render epoch, and freed on the user-interface
// thread once the render call that may have seen it has returned.
class MixStream final : public RenderTarget {
public:
    static constexpr int kMaxVoices = 64;
    static constexpr int kChunkFrames = 512;

    MixStream();
    // Frees everything retired: no stream renders into the mixer any more.
    ~MixStream() override;
    MixStream(const MixStream&) = delete;
    MixStream& operator=(const MixStream&) = delete;

    // UI thread, while no stream renders into the mixer: the rate and channels
    // of the stream that will. A new rate prepares the buffers' effects for it.
    void SetStreamFormat(int sampleRate, int channels);
    int SampleRate() const { return sampleRate_.load(std::memory_order_relaxed); }
    int Channels() const { return channels_.load(std::memory_order_relaxed); }
    // Frames per render call, as far as known: bounds the write cursor's lead.
    int PeriodFrames() const { return periodFrames_.load(std::memory_order_relaxed); }

    // UI thread.
    bool AddVoice(BufferVoice* voice);
    // Takes the voice out of the mix and retires it.
    void RemoveVoice(std::unique_ptr<BufferVoice> voice);
    // Keeps an object that the caller has just unpublished until no render call
    // that may have read it is still running.
    template <typename T>
    void Retire(std::unique_ptr<T> object) {
        if (object) RetireShared(std::shared_ptr<void>(std::move(object)));
    }
    // Frees the retired objects that no render call can reach any more;
    // returns how many it freed.
    size_t CollectRetired();
    // Retired objects not freed yet.
    size_t RetiredCount() const { return retired_.size(); }

    // Audio thread. One call at a time: a second stream that calls while one
    // renders (a replaced stream's late callback) gets silence.
    void Render(float* interleaved, int frames, int channels) noexcept override;

    // Counts render calls twice: odd while one runs.
    uint64_t Epoch() const { return epoch_.load(std::memory_order_seq_cst); }

private:
    struct Retired {
        std::shared_ptr<void> object;
        uint64_t epoch;  // when it was retired
    };

    void RetireShared(std::shared_ptr<void> object);
    void MixVoice(BufferVoice& voice, float* out, int frames, int channels) noexcept;

    std::array<std::atomic<BufferVoice*>, kMaxVoices> voices_{};
    std::atomic<uint64_t> epoch_{0};
    std::atomic<int> periodFrames_{256};
    std::atomic<int> sampleRate_{44'100};
    std::atomic<int> channels_{2};
    std::unique_ptr<float[]> scratch_;  // one chunk of a voice's resampled stereo sound
    std::vector<Retired> retired_;      // UI thread only
};

}  // namespace platform::sound
