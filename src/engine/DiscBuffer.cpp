#include "engine/DiscBuffer.h"

namespace engine {

bool SameName(const TrackName& name, const std::string& path) {
    return name ? *name == path : path.empty();
}

DiscBuffer::DiscBuffer() {
    for (auto& tag : tags_) tag.store(kNoTag, std::memory_order_relaxed);
}

int DiscBuffer::CountFilled() const {
    int n = 0;
    for (int i = 0; i < kDiscBlocks; ++i) n += IsFilled(i) ? 1 : 0;
    return n;
}

void DiscBuffer::ResetForReader() {
    for (int i = 0; i < kDiscBlocks; ++i) {
        MarkFree(i);
        SetTag(i, kNoTag);
        SetName(i, nullptr);
    }
    writeIndex_ = 0;
}

}  // namespace engine
