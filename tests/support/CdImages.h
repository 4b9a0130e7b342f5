#pragma once

#include <cstdint>
#include <string>
#include <vector>

// CD images made by the tests themselves: BIN/CUE (and cdrdao .toc) files of
// 16-bit stereo 44.1 kHz audio, as a CD holds it.
namespace fixtures {

constexpr int kCdSectorBytes = 2'352;
constexpr int kCdSectorFrames = 588;

// Writes name.bin and name.cue into `folder`: one audio track per entry of
// `tracks` (raw 16-bit stereo little-endian samples, interleaved; each a whole
// number of sectors, i.e. size*2 % 2352 == 0), in order, MODE AUDIO, INDEX 01
// at each track's start. With `dataTrackLast` a MODE1/2352 data track of 300
// sectors follows. Returns the .cue's path, "" when a track is not whole
// sectors or the files could not be written.
std::string WriteCdImage(const std::string& folder, const std::string& name,
                         const std::vector<std::vector<int16_t>>& tracks, bool dataTrackLast = false);

// name.bin and name.cue holding a single MODE1/2352 data track of `sectors`
// sectors and no audio. Returns the .cue's path, "" when it could not be
// written.
std::string WriteDataCdImage(const std::string& folder, const std::string& name, int sectors = 300);

// name.raw and name.toc: a cdrdao table of contents with one audio track per
// entry of `tracks`, all in one raw file in cdrdao's byte order (big-endian
// samples). Returns the .toc's path, "" as WriteCdImage does.
std::string WriteTocImage(const std::string& folder, const std::string& name,
                          const std::vector<std::vector<int16_t>>& tracks);

// A stereo sine of `sectors` whole sectors (588 frames each) at 44.1 kHz.
std::vector<int16_t> CdTone(double frequency, int sectors, double amplitude = 0.5);

// "mm:ss:ff" for a count of sectors (75 a second), as sheets write times.
std::string CdTime(int64_t sectors);

}  // namespace fixtures
