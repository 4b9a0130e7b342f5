#pragma once

#include <string>

#include "engine/DiscBuffer.h"
#include "engine/OutputBlockLedger.h"

namespace engine {

constexpr int kCdBytesPerSecond = 176'400;  // 44,100 Hz, two channels, two bytes

// Whole seconds as "HH:MM:SS", each part at least two digits: 3,725 s is "01:02:05".
std::string FormatTime(double seconds);

// Seconds of a source position given in bytes of the source's own format.
double SourceSeconds(double bytes, int bitsPerSample, int sampleRate, int channels);

// Bytes of audio waiting in the ring. While a track change is pending only the
// current track's blocks count: for a file those named after the current path.
int DiscBufferedBytes(const DiscBuffer& ring, bool trackChangePending, const std::string& currentPath);
// The same for a CD deck, whose blocks carry the track number as their tag.
int DiscBufferedBytesForCd(const DiscBuffer& ring, bool trackChangePending, int32_t currentTrack);
// Bytes written ahead into the output buffers and not yet played.
int OutputBufferedBytes(const OutputBlockLedger& ledger);

// Where the listener is: the source's read position less everything decoded
// but not yet heard. The buffered bytes are ring blocks, always 16-bit stereo,
// so they convert at four bytes a frame whatever the source's own format.
double PlayPositionSeconds(double sourcePositionSeconds, int bufferedBytes, int sampleRate);

}  // namespace engine
