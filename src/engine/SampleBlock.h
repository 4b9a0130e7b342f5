#pragma once

#include <cstddef>
#include <cstdint>

#include "output/BlockFormat.h"

// The fixed block of sound that every stage moves: 16-bit signed little-endian
// stereo PCM, 1/15 s at 44,100 Hz.
namespace engine {

constexpr int kDeckCount = output::kDeckCount;
constexpr int kChannels = 2;
constexpr int kBytesPerFrame = 4;
constexpr int kBlockBytes = output::kBlockBytes;
constexpr int kBlockFrames = kBlockBytes / kBytesPerFrame;  // 2,940
constexpr int kBlockSamples = kBlockFrames * kChannels;     // 5,880
constexpr int kDefaultSampleRate = 44'100;

constexpr int kDiscBlocks = 170;                      // the ring of decoded blocks
constexpr int kPrimingBlocks = 121;                   // the reader primes the deck after this many
constexpr int kOutputBlocks = output::kOutputBlocks;  // blocks in one output buffer
constexpr int kOutputBufferBytes = output::kOutputBufferBytes;
constexpr int kReaderWakeBlocks = 27;  // the reader refills after this many consumed blocks

constexpr int32_t kNoTag = -1;

struct alignas(16) SampleBlock {
    int16_t samples[kBlockSamples];

    uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(samples); }
    const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(samples); }
    output::BlockBytes Span() const { return output::BlockBytes(Bytes(), kBlockBytes); }
};
static_assert(sizeof(SampleBlock) == kBlockBytes);

// Writes the block's frames in reverse order, channels kept apart (the
// backward buffers hold what was played, reversed).
void ReverseBlock(const SampleBlock& in, SampleBlock& out) noexcept;

}  // namespace engine
