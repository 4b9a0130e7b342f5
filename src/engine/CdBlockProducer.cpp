#include "engine/CdBlockProducer.h"

#include <algorithm>
#include <memory>

#include "platform/MessagePort.h"
#include "platform/cd/CZelCdSource.h"

namespace engine {

using platform::Message;

CdBlockProducer::CdBlockProducer(int deck, platform::cd::CZelCdSource& cd, platform::MessagePort& mainWindow)
    : deck_(deck), cd_(cd), mainWindow_(mainWindow) {}

int32_t CdBlockProducer::TrackAt(const platform::cd::CZelCdSource& cd, int deck, int64_t byte) {
    const int tracks = cd.TrackCount(deck);
    int32_t track = 1;
    while (track < tracks && cd.TrackStartByte(deck, track + 1) <= byte) ++track;
    return track;
}

void CdBlockProducer::OnReaderStart(DiscBuffer& ring) {
    // The ring starts empty at block 0, where the extraction starts too.
    ring_ = &ring;
    cd_.SetWriteOffset(deck_, 0);
    position_ = cd_.BytePosition(deck_);
    end_ = cd_.TotalBytes(deck_);
    ring.SetCdReaderPosition(static_cast<int32_t>(position_));
    name_ = std::make_shared<const std::string>(cd_.Name(deck_));
    passBlocks_ = 0;
    previousTag_ = kNoTag;
}

void CdBlockProducer::BeginPass(DiscBuffer&, int freeBlocks) {
    // Up to the end of the audio: the last block's tail is silence.
    const int64_t left = std::max<int64_t>(0, end_ - position_);
    const int64_t blocksLeft = (left + kBlockBytes - 1) / kBlockBytes;
    passBlocks_ = static_cast<int>(std::min<int64_t>(freeBlocks, blocksLeft));
    if (passBlocks_ > 0 && !cd_.Read(deck_, passBlocks_ * kBlockBytes)) passBlocks_ = 0;
}

BlockProducer::Result CdBlockProducer::Produce(SampleBlock&, TrackName& name, int32_t& tag) {
    // The block's audio is in place already; it gets its name and track.
    if (passBlocks_ == 0) return {false, position_ >= end_ || !cd_.IsOpen(deck_)};
    --passBlocks_;
    tag = TrackAt(cd_, deck_, position_);
    if (previousTag_ != kNoTag && tag != previousTag_)
        mainWindow_.Send(Message::EndOfTrack, platform::DeckArgs{deck_});
    previousTag_ = tag;
    position_ += kBlockBytes;
    ring_->SetCdReaderPosition(static_cast<int32_t>(std::min(position_, end_)));
    name = name_;
    return {true, position_ >= end_};
}

}  // namespace engine
