#pragma once

#include <array>

#include "engine/DiscBuffer.h"

namespace engine {

// The block feeder's record of a deck's 120 output blocks: which hold audio
// not yet played, which were written as silence because the ring was empty,
// which were played through since the deck was primed (backward play may go
// back over those, and no further), and which disc block (tag and name) each
// came from. User-interface thread only.
struct OutputBlockLedger {
    std::array<bool, kOutputBlocks> written{};
    std::array<bool, kOutputBlocks> silence{};
    std::array<bool, kOutputBlocks> heard{};
    std::array<int32_t, kOutputBlocks> tag{};
    std::array<TrackName, kOutputBlocks> name{};
    int lastBlock = 0;
    int blocksSinceWake = 0;
    int notificationsSinceDisplay = 0;

    // At every priming: nothing written, nothing silent, nothing heard.
    void ClearFlags();
    int CountWritten() const;
};

}  // namespace engine
