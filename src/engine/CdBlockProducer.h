#pragma once

#include <cstdint>

#include "engine/ReaderLoop.h"

namespace platform {
class MessagePort;
namespace cd {
class CZelCdSource;
}
}  // namespace platform

namespace engine {

// Feeds the reader loop from a deck's CD: each pass extracts every free
// block in one read, straight into the ring. A block is tagged with the
// number of the track it begins in, so the deck can follow the track numbers
// as they are heard; where consecutive blocks' tracks differ the main window
// hears of the change (as at the end of a file). The reader ends at the end of
// the disc's audio, the last block made up with silence. Reader thread.
class CdBlockProducer final : public BlockProducer {
public:
    CdBlockProducer(int deck, platform::cd::CZelCdSource& cd, platform::MessagePort& mainWindow);

    void OnReaderStart(DiscBuffer& ring) override;
    void BeginPass(DiscBuffer& ring, int freeBlocks) override;
    Result Produce(SampleBlock& block, TrackName& name, int32_t& tag) override;
    bool ReportsEachBlock() const override { return false; }

    // The number (from 1) of the track the byte lies in.
    static int32_t TrackAt(const platform::cd::CZelCdSource& cd, int deck, int64_t byte);

private:
    int deck_;
    platform::cd::CZelCdSource& cd_;
    platform::MessagePort& mainWindow_;
    DiscBuffer* ring_ = nullptr;
    TrackName name_;
    int64_t position_ = 0;  // of the next block to hand over
    int64_t end_ = 0;       // of the disc's audio
    int passBlocks_ = 0;    // extracted in this pass and not yet handed over
    int32_t previousTag_ = kNoTag;
};

}  // namespace engine
