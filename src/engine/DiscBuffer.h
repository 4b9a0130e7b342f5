#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <string>

#include "engine/SampleBlock.h"

namespace engine {

// The path (or CD track name) a block was decoded from. Shared, so that
// handing it from block to block never allocates.
using TrackName = std::shared_ptr<const std::string>;

bool SameName(const TrackName& name, const std::string& path);

// A deck's ring of decoded blocks. The reader thread fills free blocks at the
// write index; the block writer on the user-interface thread takes filled
// blocks at the read index. The per-block filled flags are the only hand-over
// between them: a block's audio, tag and name are written before its flag is
// set, and read only after the flag was seen set.
class DiscBuffer {
public:
    DiscBuffer();

    SampleBlock& Block(int index) { return blocks_[index]; }
    const SampleBlock& Block(int index) const { return blocks_[index]; }

    bool IsFilled(int index) const { return filled_[index].load(std::memory_order_acquire) != 0; }
    void MarkFilled(int index) { filled_[index].exchange(1, std::memory_order_acq_rel); }
    void MarkFree(int index) { filled_[index].exchange(0, std::memory_order_acq_rel); }
    int CountFilled() const;
    int CountFree() const { return kDiscBlocks - CountFilled(); }

    int32_t Tag(int index) const { return tags_[index].load(std::memory_order_relaxed); }
    void SetTag(int index, int32_t tag) { tags_[index].store(tag, std::memory_order_relaxed); }
    TrackName Name(int index) const { return names_[index].load(std::memory_order_acquire); }
    void SetName(int index, TrackName name) {
        names_[index].store(std::move(name), std::memory_order_release);
    }

    // Reader thread only.
    int WriteIndex() const { return writeIndex_; }
    void AdvanceWriteIndex() { writeIndex_ = (writeIndex_ + 1) % kDiscBlocks; }
    // Block writer (user-interface thread) only.
    int ReadIndex() const { return readIndex_; }
    void SetReadIndex(int index) { readIndex_ = index; }
    void AdvanceReadIndex() { readIndex_ = (readIndex_ + 1) % kDiscBlocks; }

    // The whole ring as one run of bytes, block 0 first: a CD is extracted
    // straight into it.
    uint8_t* Bytes() { return blocks_[0].Bytes(); }
    // A CD deck's byte position on the disc at the end of the blocks read so
    // far. Set by the CD reader, read by the time display.
    int32_t CdReaderPosition() const { return cdReaderPosition_.load(std::memory_order_relaxed); }
    void SetCdReaderPosition(int32_t bytes) { cdReaderPosition_.store(bytes, std::memory_order_relaxed); }

    // What a reader thread does when it starts: every block free, untagged and
    // unnamed, write index 0.
    void ResetForReader();

private:
    std::array<SampleBlock, kDiscBlocks> blocks_{};
    static_assert(sizeof(blocks_) == kDiscBlocks * kBlockBytes, "the blocks lie end to end");
    std::array<std::atomic<int32_t>, kDiscBlocks> filled_{};
    std::array<std::atomic<int32_t>, kDiscBlocks> tags_{};
    std::array<std::atomic<TrackName>, kDiscBlocks> names_{};
    int writeIndex_ = 0;
    int readIndex_ = 0;
    std::atomic<int32_t> cdReaderPosition_{0};
};

}  // namespace engine
