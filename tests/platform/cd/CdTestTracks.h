#pragma once

// The audio of the CD images the CD tests write: three tracks of distinct
// tones, the second an odd number of sectors.

#include <cstdint>
#include <vector>

#include "support/CdImages.h"

namespace cd_test {

constexpr int kSectors1 = 100;
constexpr int kSectors2 = 77;
constexpr int kSectors3 = 120;
constexpr int kAllSectors = kSectors1 + kSectors2 + kSectors3;

inline int64_t SectorBytes(int64_t sectors) {
    return sectors * fixtures::kCdSectorBytes;
}

inline const std::vector<std::vector<int16_t>>& Tracks() {
    static const std::vector<std::vector<int16_t>> tracks = {fixtures::CdTone(440, kSectors1),
                                                             fixtures::CdTone(660, kSectors2, 0.4),
                                                             fixtures::CdTone(880, kSectors3, 0.3)};
    return tracks;
}

// The three tracks' audio laid end to end, as bytes.
inline const std::vector<uint8_t>& AudioBytes() {
    static const std::vector<uint8_t> bytes = [] {
        std::vector<uint8_t> all;
        for (const auto& track : Tracks()) {
            const auto* first = reinterpret_cast<const uint8_t*>(track.data());
            all.insert(all.end(), first, first + track.size() * 2);
        }
        return all;
    }();
    return bytes;
}

}  // namespace cd_test
