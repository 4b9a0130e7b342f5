// Digital audio extraction from a CD image into a deck's disc buffer, as a
// deck's reader asks for it: realtime_x is seconds of audio per second of wall
// time.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <string>
#include <vector>

#include "platform/cd/CZelCdSource.h"
#include "support/AudioFixtures.h"
#include "support/CdImages.h"

namespace {

using platform::cd::kBlockBytes;
using platform::cd::kDiscBufferBytes;

// Four tracks of music-like sound (a tone over noise), 6 minutes in all.
constexpr int kTracks = 4;
constexpr int kTrackSectors = 90 * 75;

// A BIN/CUE image, made once; "" when it cannot be made.
const std::string& ImagePath() {
    static QTemporaryDir dir;
    static const std::string path = [] {
        std::vector<std::vector<int16_t>> tracks;
        for (int t = 0; t < kTracks; ++t) {
            std::vector<int16_t> track = fixtures::CdTone(110.0 * (t + 2), kTrackSectors, 0.3);
            const auto noise = fixtures::Noise(static_cast<int>(track.size() / 2), 2, 11 + t, 0.2);
            for (size_t i = 0; i < track.size(); ++i) track[i] = static_cast<int16_t>(track[i] + noise[i]);
            tracks.push_back(std::move(track));
        }
        return dir.isValid() ? fixtures::WriteCdImage(dir.path().toStdString(), "bench", tracks)
                             : std::string();
    }();
    return path;
}

// The whole image through one deck, `blocks` blocks a Read, the write offset
// running round a disc buffer of 1,999,200 bytes.
void BM_CdExtraction(benchmark::State& state) {
    const auto blocks = static_cast<int32_t>(state.range(0));
    if (ImagePath().empty()) return state.SkipWithError("could not make the CD image");
    platform::cd::CZelCdSource source;
    std::string error;
    if (!source.OpenImage(0, ImagePath(), error)) return state.SkipWithError(error.c_str());
    std::vector<uint8_t> buffer(kDiscBufferBytes);
    source.SetDiscBuffer(0, buffer.data(), kDiscBufferBytes);
    const int64_t total = source.TotalBytes(0);
    for (auto _ : state) {
        source.SeekTrackStart(0, 1);
        while (source.BytePosition(0) < total) source.Read(0, blocks * kBlockBytes);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.counters["realtime_x"] =
        benchmark::Counter(source.TotalLength(0), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_CdExtraction)->Arg(27)->Arg(170)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
