// The equalizer filter bank's cost: one deck's 31 bands (the analyzer's
// layout) filtering blocks of 2940 samples, by the bank's fast convolution
// and, for comparison, by direct-form convolution of the same taps. Also the
// cost of a new 31-band design.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "dsp/CZelFilterBank.h"
#include "support/AudioFixtures.h"

namespace {

constexpr int kBlock = CZelFilterBank::kBlockSamples;
constexpr int kHistory = CZelFilterBank::kMaxTaps - 1;
constexpr int kBands = 31;
constexpr int kBlocks = 15;  // one second of music, repeated

std::vector<std::vector<float>> MusicBlocks() {
    const std::vector<int16_t> noise = fixtures::Noise(kBlocks * kBlock, 1, 2024, 0.5);
    std::vector<std::vector<float>> blocks;
    for (int b = 0; b < kBlocks; ++b)
        blocks.emplace_back(noise.begin() + b * kBlock, noise.begin() + (b + 1) * kBlock);
    return blocks;
}

benchmark::Counter RealTimeFactor() {
    return benchmark::Counter(kBlock / CZelFilterBank::kSampleRate,
                              benchmark::Counter::kIsIterationInvariantRate);
}

// One Process call per iteration: every band's output block.
void BM_FilterBankProcess(benchmark::State& state) {
    auto bank = std::make_unique<CZelFilterBank>();
    bank->Design(kBands);
    const auto blocks = MusicBlocks();
    int next = 0;
    for (auto _ : state) {
        bank->Process(blocks[next].data());
        next = (next + 1) % kBlocks;
        benchmark::DoNotOptimize(bank->BandOutput(0).data());
    }
    state.counters["realtime_x"] = RealTimeFactor();
}
BENCHMARK(BM_FilterBankProcess);

// The same outputs by direct convolution in single precision: for each band,
// every output is the sum of its taps times the line's samples.
void BM_FilterBankDirect(benchmark::State& state) {
    auto bank = std::make_unique<CZelFilterBank>();
    bank->Design(kBands);
    std::vector<std::vector<float>> taps;
    for (int b = 0; b < kBands; ++b) {
        const auto designed = bank->BandTaps(b);
        taps.emplace_back(designed.begin(), designed.end());
    }
    const auto blocks = MusicBlocks();
    std::vector<float> line(kHistory + kBlock, 0.0f);
    std::vector<std::vector<float>> outputs(kBands, std::vector<float>(kBlock));
    int next = 0;
    for (auto _ : state) {
        std::copy(line.end() - kHistory, line.end(), line.begin());
        std::copy(blocks[next].begin(), blocks[next].end(), line.begin() + kHistory);
        next = (next + 1) % kBlocks;
        for (int b = 0; b < kBands; ++b) {
            const int count = static_cast<int>(taps[b].size());
            float* out = outputs[b].data();
            std::fill(out, out + kBlock, 0.0f);
            // Tap by tap, so the inner loop runs along the samples.
            for (int k = 0; k < count; ++k) {
                const float h = taps[b][k];
                const float* x = line.data() + count - 1 - k;
                for (int j = 0; j < kBlock; ++j) out[j] += h * x[j];
            }
            const float gain = bank->Gain(b);
            for (int j = 0; j < kBlock; ++j) out[j] *= gain;
        }
        benchmark::DoNotOptimize(outputs[0].data());
    }
    state.counters["realtime_x"] = RealTimeFactor();
}
BENCHMARK(BM_FilterBankDirect);

// A new layout: 31 filters, their transforms and their responses.
void BM_FilterBankDesign(benchmark::State& state) {
    auto bank = std::make_unique<CZelFilterBank>();
    for (auto _ : state) {
        bank->Design(kBands);
        benchmark::DoNotOptimize(bank->BandResponse(0).data());
    }
}
BENCHMARK(BM_FilterBankDesign)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
