// The audio callback's cost: two decks playing on two outputs, each deck's
// buffer read at a frequency other than the stream's (so every frame is
// interpolated), mixed into the stream.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "engine/SampleBlock.h"
#include "output/CZelOutputDevice.h"
#include "platform/sound/DirectSound.h"
#include "platform/sound/OfflineBackend.h"
#include "platform/sound/SoundBuffer.h"
#include "platform/sound/SoundSystem.h"
#include "support/AudioFixtures.h"

using namespace platform::sound;

namespace {

constexpr int kPeriodFrames = 256;
constexpr double kRate = 44'100.0;

// The main and the headphones output, each playing both decks' forward
// buffers (a 120-block loop of a tone) at +5% tempo.
struct TwoDecksOnTwoOutputs {
    TwoDecksOnTwoOutputs() {
        auto owned = std::make_unique<OfflineBackend>(
            std::vector<OfflineBackend::Device>{{"Main", 2}, {"Phones", 2}}, 44'100, kPeriodFrames);
        backend = owned.get();
        system = std::make_unique<SoundSystem>(std::move(owned));
        const auto music = fixtures::Sine(220.0, 8.0, 44'100, 2, 0.3);
        engine::SampleBlock block{};
        for (const char* name : {"Main", "Phones"}) {
            auto device = std::make_unique<output::CZelOutputDevice>(*system);
            device->Create(OfflineBackend::IdOf(name), false, false);
            for (int deck = 0; deck < 2; ++deck) {
                device->CreateDeckBuffers(deck, 44'100, nullptr, nullptr);
                for (int b = 0; b < engine::kOutputBlocks; ++b) {
                    std::copy(music.begin() + b * engine::kBlockSamples,
                              music.begin() + (b + 1) * engine::kBlockSamples, block.samples);
                    device->WriteForward(deck, block.Span());
                }
                device->ForwardBuffer(deck)->SetFrequency(46'305);
                device->ForwardBuffer(deck)->SetVolume(-1681);
                device->ForwardBuffer(deck)->Play(true);
            }
            mixers.push_back(&device->DirectSoundObject()->Stream()->Mixer());
            streams.push_back(backend->StreamOf(name));
            devices.push_back(std::move(device));
        }
        for (OfflineStream* stream : streams) stream->SetCapture(false);
    }

    OfflineBackend* backend;
    std::unique_ptr<SoundSystem> system;
    std::vector<std::unique_ptr<output::CZelOutputDevice>> devices;
    std::vector<MixStream*> mixers;
    std::vector<OfflineStream*> streams;
};

// One render call on each output per iteration: a period of sound heard on
// both outputs, four buffers mixed.
void BM_MixerCallback(benchmark::State& state) {
    TwoDecksOnTwoOutputs rig;
    std::vector<float> out(kPeriodFrames * 2);
    for (auto _ : state) {
        for (MixStream* mixer : rig.mixers) mixer->Render(out.data(), kPeriodFrames, 2);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["realtime_x"] =
        benchmark::Counter(kPeriodFrames / kRate, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_MixerCallback);

// Ten minutes of both outputs rendered through the Offline streams: the
// longest single callback against the callback's period.
void BM_WorstCallbackOverTenMinutes(benchmark::State& state) {
    TwoDecksOnTwoOutputs rig;
    const int frames = static_cast<int>(10 * 60 * kRate);
    for (auto _ : state) {
        for (int done = 0; done < frames; done += kPeriodFrames)
            for (OfflineStream* stream : rig.streams) stream->Step(kPeriodFrames);
    }
    std::chrono::nanoseconds worst{0};
    for (OfflineStream* stream : rig.streams) worst = std::max(worst, stream->WorstRenderTime());
    state.counters["worst_callback_us"] = static_cast<double>(worst.count()) / 1000.0;
    state.counters["period_us"] = 1e6 * kPeriodFrames / kRate;
    state.counters["realtime_x"] =
        benchmark::Counter(frames / kRate, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_WorstCallbackOverTenMinutes)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
