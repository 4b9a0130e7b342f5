#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform::media {

// Turns stereo float frames (full scale +-1.0) into 16-bit frames without
// clipping: when a frame would exceed full scale, the gain of both channels
// comes down so that frame lands just at full scale, holds a few ms, then
// recovers smoothly (release of tens of ms). Below full scale the samples pass unchanged.
//
// The frames are delayed by Latency() inside: the gain is already down when a
// peak plays, and it stays there for the frames around the peak, so a loud
// wave keeps its rounded top instead of being flattened at full scale. Frame
// n out is always frame n in; Flush hands out the frames still held.
//
// Not thread-safe. Allocates only in Configure.
class PeakLimiter {
public:
    void Configure(int sampleRate);
    // Forgets the held frames and the gain (after a seek).
    void Reset();
    size_t Latency() const { return lookahead_; }

    // Takes `frames` interleaved stereo frames and writes up to `frames`
    // 16-bit stereo frames to out; returns how many.
    size_t Process(const float* in, size_t frames, int16_t* out);
    // Writes the held frames (at most Latency()) to out; returns how many.
    size_t Flush(int16_t* out);

private:
    struct Held {
        float left = 0;
        float right = 0;
        float needed = 1;  // the gain this frame needs to stay within full scale
    };
    void Emit(int16_t* out);
    float WindowGain() const;

    std::vector<Held> ring_;  // lookahead_ + 1 frames
    size_t lookahead_ = 0;
    size_t hold_ = 0;       // frames before a peak with the gain already fully down
    size_t holdAfter_ = 0;  // frames after the last loud one before the gain recovers
    size_t holdLeft_ = 0;
    size_t first_ = 0;  // oldest held frame in ring_
    size_t count_ = 0;  // frames held
    size_t loud_ = 0;   // held frames that need a gain below 1
    float gain_ = 1;
    float release_ = 0;  // share of the way back to 1 recovered per frame
};

}  // namespace platform::media
