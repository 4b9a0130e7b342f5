#pragma once

// Fixture folders and reading helpers shared by the media tests.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/media/AudioDecoder.h"

namespace media_test {

constexpr int kRate = 44100;
constexpr int64_t kHundredNsPerSecond = 10'000'000;

inline std::vector<int16_t> ReadFrames(platform::media::AudioDecoder& decoder, int64_t frames) {
    std::vector<int16_t> samples(static_cast<size_t>(frames) * decoder.Format().channels);
    samples.resize(decoder.Read(reinterpret_cast<uint8_t*>(samples.data()), samples.size() * 2) / 2);
    return samples;
}

// To the end, in reads of one disc block (11,760 bytes) each, as the file source reads.
inline std::vector<int16_t> ReadAll(platform::media::AudioDecoder& decoder) {
    std::vector<int16_t> all;
    for (std::vector<int16_t> block;
         !(block = ReadFrames(decoder, 5880 / decoder.Format().channels)).empty();)
        all.insert(all.end(), block.begin(), block.end());
    return all;
}

// Every frame of a file, opened afresh; empty when it does not open.
inline std::vector<int16_t> DecodeFile(const std::string& path, int outputRate = 0) {
    platform::media::AudioDecoder decoder;
    return decoder.Open(path, outputRate) ? ReadAll(decoder) : std::vector<int16_t>{};
}

inline std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline bool WriteBytes(const std::string& path, const std::string& bytes) {
    return static_cast<bool>(std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes);
}

// `bytes` with `count` of them from `at` on replaced by random ones.
inline std::string Garbled(std::string bytes, size_t at, size_t count, uint32_t seed = 7) {
    std::mt19937 random(seed);
    for (size_t i = at; i < at + count && i < bytes.size(); ++i) bytes[i] = static_cast<char>(random());
    return bytes;
}

// Fixture files made once for a whole suite by Suite::MakeFixtures(), which
// returns "" or what went wrong.
template <class Suite>
class SharedFixtures : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<QTemporaryDir>();
        setupError_ = dir_->isValid() ? Suite::MakeFixtures() : "no temporary directory";
    }
    static void TearDownTestSuite() { dir_.reset(); }
    void SetUp() override { ASSERT_EQ(setupError_, "") << "fixtures could not be made"; }

    static std::string Folder() { return dir_->path().toStdString(); }
    static std::string Path(const std::string& name) { return Folder() + "/" + name; }

    static inline std::unique_ptr<QTemporaryDir> dir_;
    static inline std::string setupError_;
};

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
