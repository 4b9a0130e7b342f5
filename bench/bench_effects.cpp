// The standard effects' cost on the audio thread: each effect alone on a
// 44,100 Hz stereo stream in the mixer's 512-frame chunks, and the mixer with
// four playing buffers that each carry an equalizer of five bands and a
// reverb. `realtime_x` is seconds of sound per CPU second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/sound/DenormalGuard.h"
#include "platform/sound/DirectSound.h"
#include "platform/sound/MixStream.h"
#include "platform/sound/OfflineBackend.h"
#include "platform/sound/SoundBuffer.h"
#include "platform/sound/SoundSystem.h"
#include "platform/sound/fx/ClassIds.h"
#include "platform/sound/fx/EffectFactory.h"
#include "platform/sound/fx/ParamEq.h"
#include "support/AudioFixtures.h"

using namespace platform::sound;

namespace {

constexpr int kRate = 44'100;
constexpr int kChunkFrames = MixStream::kChunkFrames;

// Two seconds of a tone with noise under it, as floats.
std::vector<float> Music() {
    const auto tone = fixtures::Sine(220.0, 2.0, kRate, 2, 0.3);
    const auto noise = fixtures::Noise(2 * kRate, 2, 7, 0.1);
    std::vector<float> music(tone.size());
    for (size_t i = 0; i < music.size(); ++i) music[i] = static_cast<float>(tone[i] + noise[i]) / 32768.0f;
    return music;
}

// One chunk per iteration, a fresh stretch of the music each time (copying it
// costs little against the effect), at the effect's default parameters.
void BM_Effect(benchmark::State& state, const EffectClassId* classId) {
    auto effect = fx::CreateEffect(*classId);
    if (!effect) {
        state.SkipWithError("no effect of that class");
        return;
    }
    effect->Prepare(kRate, 2);
    effect->Reset();
    const std::vector<float> music = Music();
    const size_t chunkSamples = 2 * kChunkFrames;
    std::vector<float> chunk(chunkSamples);
    size_t at = 0;
    const DenormalGuard guard;  // as the mixer runs the effects
    for (auto _ : state) {
        std::copy_n(music.begin() + static_cast<std::ptrdiff_t>(at), chunkSamples, chunk.begin());
        effect->Process(chunk.data(), kChunkFrames);
        benchmark::DoNotOptimize(chunk.data());
        benchmark::ClobberMemory();
        at += chunkSamples;
        if (at + chunkSamples > music.size()) at = 0;
    }
    state.counters["realtime_x"] = benchmark::Counter(static_cast<double>(kChunkFrames) / kRate,
                                                      benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK_CAPTURE(BM_Effect, ParamEq, &fx::kParamEqClassId);
BENCHMARK_CAPTURE(BM_Effect, Chorus, &fx::kChorusClassId);
BENCHMARK_CAPTURE(BM_Effect, Compressor, &fx::kCompressorClassId);
BENCHMARK_CAPTURE(BM_Effect, Distortion, &fx::kDistortionClassId);
BENCHMARK_CAPTURE(BM_Effect, Echo, &fx::kEchoClassId);
BENCHMARK_CAPTURE(BM_Effect, Flanger, &fx::kFlangerClassId);
BENCHMARK_CAPTURE(BM_Effect, Gargle, &fx::kGargleClassId);
BENCHMARK_CAPTURE(BM_Effect, Reverb, &fx::kReverbClassId);

// Four looping buffers read at +5 % tempo (so every frame is interpolated),
// each through five equalizer bands of some gain and a reverb, mixed into one
// stereo stream; one chunk rendered per iteration.
void BM_MixerWithEqualizersAndReverbs(benchmark::State& state) {
    auto owned = std::make_unique<OfflineBackend>(std::vector<OfflineBackend::Device>{{"Desk", 2}}, kRate,
                                                  kChunkFrames);
    SoundSystem system(std::move(owned));
    std::unique_ptr<DirectSound> device;
    if (system.Create(OfflineBackend::IdOf("Desk"), &device) != kOk ||
        device->SetPrimaryFormat(WaveFormat::Pcm(2, kRate)) != kOk) {
        state.SkipWithError("no Offline device");
        return;
    }
    const auto music = fixtures::Sine(220.0, 2.0, kRate, 2, 0.3);
    const WaveFormat format = WaveFormat::Pcm(2, kRate);
    const BufferDescription description{
        .flags = kCapsCtrlVolume | kCapsCtrlPan | kCapsCtrlFrequency | kCapsCtrlFx,
        .bufferBytes = static_cast<uint32_t>(music.size() * 2),
        .format = &format};
    constexpr float kCentres[] = {100.0f, 400.0f, 1'600.0f, 6'400.0f, 12'000.0f};
    std::vector<std::unique_ptr<SoundBuffer>> buffers;
    for (int b = 0; b < 4; ++b) {
        std::unique_ptr<SoundBuffer> buffer;
        if (device->CreateSoundBuffer(description, &buffer) != kOk) {
            state.SkipWithError("no buffer");
            return;
        }
        buffer->Write(0, music.data(), description.bufferBytes);
        EffectChain chain;
        for (float centre : kCentres) {
            auto band = fx::CreateEffect(fx::kParamEqClassId);
            EffectCast<fx::ParamEq>(band.get())->SetAllParameters({.fCenter = centre, .fGain = 4.0f});
            chain.push_back(std::move(band));
        }
        chain.push_back(fx::CreateEffect(fx::kReverbClassId));
        buffer->SetFX(std::move(chain));
        buffer->SetFrequency(46'305);
        buffer->SetVolume(-600);
        buffer->Play(true);
        buffers.push_back(std::move(buffer));
    }
    MixStream& mixer = device->Stream()->Mixer();
    std::vector<float> out(2 * kChunkFrames);
    const DenormalGuard guard;  // as the backends' callbacks run the mixer
    for (auto _ : state) {
        mixer.Render(out.data(), kChunkFrames, 2);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["realtime_x"] = benchmark::Counter(static_cast<double>(kChunkFrames) / kRate,
                                                      benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_MixerWithEqualizersAndReverbs);

}  // namespace

BENCHMARK_MAIN();
