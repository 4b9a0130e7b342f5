#include "engine/StreamTime.h"

#include <cmath>
#include <cstdio>

namespace engine {

std::string FormatTime(double seconds) {
    long long whole = (std::isfinite(seconds) && seconds > 0) ? static_cast<long long>(seconds) : 0;
    const long long hours = whole / 3600;
    const long long minutes = whole / 60 % 60;
    const long long secs = whole % 60;
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", hours, minutes, secs);
    return text;
}

double SourceSeconds(double bytes, int bitsPerSample, int sampleRate, int channels) {
    const double bytesPerSecond = (bitsPerSample / 8.0) * sampleRate * channels;
    return bytesPerSecond > 0 ? bytes / bytesPerSecond : 0.0;
}

int DiscBufferedBytes(const DiscBuffer& ring, bool trackChangePending, const std::string& currentPath) {
    int blocks = 0;
    for (int i = 0; i < kDiscBlocks; ++i) {
        if (!ring.IsFilled(i)) continue;
        if (trackChangePending && !SameName(ring.Name(i), currentPath)) continue;
        ++blocks;
    }
    return blocks * kBlockBytes;
}

int DiscBufferedBytesForCd(const DiscBuffer& ring, bool trackChangePending, int32_t currentTrack) {
    int blocks = 0;
    for (int i = 0; i < kDiscBlocks; ++i) {
        if (!ring.IsFilled(i)) continue;
        if (trackChangePending && ring.Tag(i) != currentTrack) continue;
        ++blocks;
    }
    return blocks * kBlockBytes;
}

int OutputBufferedBytes(const OutputBlockLedger& ledger) {
    return ledger.CountWritten() * kBlockBytes;
}

double PlayPositionSeconds(double sourcePositionSeconds, int bufferedBytes, int sampleRate) {
    if (sampleRate <= 0) return sourcePositionSeconds;
    return sourcePositionSeconds - static_cast<double>(bufferedBytes) / kBytesPerFrame / sampleRate;
}

}  // namespace engine
