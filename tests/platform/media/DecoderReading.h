#pragma once

// Reading helpers shared by the media tests.

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/media/AudioDecoder.h"

namespace media_test {

// The disc block size the file source reads with.
constexpr size_t kBlockBytes = 11760;

inline std::vector<int16_t> ReadFrames(platform::media::AudioDecoder& decoder, int64_t frames) {
    std::vector<int16_t> samples(static_cast<size_t>(frames) * decoder.Format().channels);
    samples.resize(decoder.Read(reinterpret_cast<uint8_t*>(samples.data()), samples.size() * 2) / 2);
    return samples;
}

// To the end, in reads of one disc block each, as the file source reads.
inline std::vector<int16_t> ReadAll(platform::media::AudioDecoder& decoder) {
    std::vector<int16_t> all;
    const int64_t frames = static_cast<int64_t>(kBlockBytes) / 2 / decoder.Format().channels;
    for (std::vector<int16_t> block; !(block = ReadFrames(decoder, frames)).empty();)
        all.insert(all.end(), block.begin(), block.end());
    return all;
}

// Every frame of a file, opened afresh; empty when it does not open.
inline std::vector<int16_t> DecodeFile(const std::string& path, int outputRate = 0) {
    platform::media::AudioDecoder decoder;
    if (!decoder.Open(path, outputRate)) return {};
    return ReadAll(decoder);
}

inline std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline bool WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return static_cast<bool>(out);
}

// RMS of the difference of two stretches of `count` samples, relative to the
// RMS of `reference`.
inline double RelativeError(const int16_t* piece, const int16_t* reference, size_t count) {
    double difference = 0;
    double level = 0;
    for (size_t i = 0; i < count; ++i) {
        difference += std::pow(static_cast<double>(piece[i]) - reference[i], 2);
        level += std::pow(static_cast<double>(reference[i]), 2);
    }
    return level > 0 ? std::sqrt(difference / level) : (difference > 0 ? INFINITY : 0);
}

}  // namespace media_test
