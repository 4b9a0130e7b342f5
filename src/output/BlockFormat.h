#pragma once

#include <cstdint>
#include <span>

// What the outputs take from the decks: fixed blocks of 16-bit signed
// little-endian stereo PCM, 1/15 s at 44,100 Hz, written into buffers of
// 120 blocks, one forward and one backward buffer per deck.
namespace output {

constexpr int kDeckCount = 2;
constexpr int kBlockBytes = 11'760;
constexpr int kOutputBlocks = 120;
constexpr int kOutputBufferBytes = kOutputBlocks * kBlockBytes;  // 1,411,200

using BlockBytes = std::span<const uint8_t, kBlockBytes>;

}  // namespace output
