#include "support/CdImages.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>

namespace fixtures {
namespace {

constexpr int kDataTrackSectors = 300;

std::string PathIn(const std::string& folder, const std::string& file) {
    return folder + "/" + file;
}

// One MODE1 sector of an image: sync pattern, address and mode, then a
// payload that is anything but silence, so data read as audio would be heard.
void PutDataSector(std::ofstream& out, int64_t sector) {
    char bytes[kCdSectorBytes] = {};
    for (int i = 1; i <= 10; ++i) bytes[i] = static_cast<char>(0xFF);
    const int64_t address = sector + 150;  // the address counts the 2 s lead-in
    bytes[12] = static_cast<char>(address / (75 * 60));
    bytes[13] = static_cast<char>((address / 75) % 60);
    bytes[14] = static_cast<char>(address % 75);
    bytes[15] = 1;
    for (int i = 16; i < kCdSectorBytes; ++i) bytes[i] = static_cast<char>(0x40 + i % 64);
    out.write(bytes, kCdSectorBytes);
}

bool WholeSectors(const std::vector<std::vector<int16_t>>& tracks) {
    for (const auto& track : tracks)
        if (track.empty() || track.size() * 2 % kCdSectorBytes != 0) return false;
    return true;
}

}  // namespace

std::string CdTime(int64_t sectors) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(sectors / (75 * 60)),
                  static_cast<int>(sectors / 75 % 60), static_cast<int>(sectors % 75));
    return text;
}

std::string WriteCdImage(const std::string& folder, const std::string& name,
                         const std::vector<std::vector<int16_t>>& tracks, bool dataTrackLast) {
    if (!WholeSectors(tracks)) return {};
    std::ofstream bin(PathIn(folder, name + ".bin"), std::ios::binary | std::ios::trunc);
    std::ofstream cue(PathIn(folder, name + ".cue"), std::ios::trunc);
    cue << "FILE \"" << name << ".bin\" BINARY\n";
    int64_t sector = 0;
    int number = 1;
    for (const auto& track : tracks) {
        char header[32];
        std::snprintf(header, sizeof header, "  TRACK %02d AUDIO\n", number++);
        cue << header << "    INDEX 01 " << CdTime(sector) << "\n";
        // Little-endian host: the samples are already in the image's byte order.
        bin.write(reinterpret_cast<const char*>(track.data()),
                  static_cast<std::streamsize>(track.size() * 2));
        sector += static_cast<int64_t>(track.size() * 2 / kCdSectorBytes);
    }
    if (dataTrackLast) {
        char header[32];
        std::snprintf(header, sizeof header, "  TRACK %02d MODE1/2352\n", number);
        cue << header << "    INDEX 01 " << CdTime(sector) << "\n";
        for (int i = 0; i < kDataTrackSectors; ++i) PutDataSector(bin, sector + i);
    }
    if (!bin || !cue) return {};
    return PathIn(folder, name + ".cue");
}

std::string WriteDataCdImage(const std::string& folder, const std::string& name, int sectors) {
    std::ofstream bin(PathIn(folder, name + ".bin"), std::ios::binary | std::ios::trunc);
    std::ofstream cue(PathIn(folder, name + ".cue"), std::ios::trunc);
    cue << "FILE \"" << name << ".bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n";
    for (int i = 0; i < sectors; ++i) PutDataSector(bin, i);
    if (!bin || !cue) return {};
    return PathIn(folder, name + ".cue");
}

std::string WriteTocImage(const std::string& folder, const std::string& name,
                          const std::vector<std::vector<int16_t>>& tracks) {
    if (!WholeSectors(tracks)) return {};
    std::ofstream raw(PathIn(folder, name + ".raw"), std::ios::binary | std::ios::trunc);
    std::ofstream toc(PathIn(folder, name + ".toc"), std::ios::trunc);
    toc << "CD_DA\n";
    int64_t sector = 0;
    for (const auto& track : tracks) {
        const int64_t sectors = static_cast<int64_t>(track.size() * 2 / kCdSectorBytes);
        toc << "\nTRACK AUDIO\nFILE \"" << name << ".raw\" " << (sector == 0 ? "0" : CdTime(sector)) << " "
            << CdTime(sectors) << "\n";
        for (const int16_t sample : track) {
            const auto value = static_cast<uint16_t>(sample);
            raw.put(static_cast<char>(value >> 8));
            raw.put(static_cast<char>(value & 0xFF));
        }
        sector += sectors;
    }
    if (!raw || !toc) return {};
    return PathIn(folder, name + ".toc");
}

std::vector<int16_t> CdTone(double frequency, int sectors, double amplitude) {
    const size_t frames = static_cast<size_t>(sectors) * kCdSectorFrames;
    std::vector<int16_t> samples(frames * 2);
    for (size_t n = 0; n < frames; ++n) {
        const double value = amplitude * 32767.0 * std::sin(2 * std::numbers::pi * frequency * n / 44'100.0);
        samples[2 * n] = samples[2 * n + 1] = static_cast<int16_t>(std::lround(value));
    }
    return samples;
}

}  // namespace fixtures
