// The program's sound path as a DJ hears it, in real time: two decks played
// through PortAudio into a PulseAudio server of our own (null sinks "main"
// and "phones", reached through ALSA's pulse plugin), with the other core
// kept busy. Reports the underruns, the CPU the process used and its peak
// resident memory; and the time from pressing Play to the first sound at the
// sink, recorded from its monitor.
//
// Needs pulseaudio, pulseaudio-utils and libasound2-plugins (scripts/setup).
// It starts and ends its own server. Example:
//   build/bench/bench_live --benchmark_filter=TwoDecks   (ten minutes)
//   build/bench/bench_live --benchmark_filter=FirstSound
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <pthread.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <thread>

#include "PrivateSoundServer.h"
#include "ProcessCpu.h"
#include "StoppingDeck.h"
#include "engine/DeckLink.h"
#include "engine/Engine.h"
#include "engine/EngineEvents.h"
#include "engine/Playback.h"
#include "output/CZelOutput.h"
#include "platform/MessagePort.h"
#include "platform/sound/DeviceStream.h"
#include "platform/sound/DirectSound.h"
#include "platform/sound/PortAudioBackend.h"
#include "platform/sound/SoundSystem.h"
#include "support/AudioFixtures.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using platform::Message;

namespace {

constexpr double kTrackSeconds = 60.0;
constexpr int kRate = 44'100;

const std::string& TrackPath(int deck) {
    static QTemporaryDir dir;
    static std::string paths[2];
    if (paths[deck].empty()) {
        paths[deck] = QDir(dir.path()).filePath(deck == 0 ? "a.wav" : "b.wav").toStdString();
        fixtures::WriteWav(paths[deck],
                           fixtures::Sine(deck == 0 ? 440.0 : 660.0, kTrackSeconds, kRate, 2, 0.9), 2, kRate);
    }
    return paths[deck];
}

std::optional<platform::sound::DeviceId> IdOf(platform::sound::SoundSystem& sound, const std::string& name) {
    for (const auto& device : sound.Enumerate())
        if (device.description == name) return device.id;
    return std::nullopt;
}

// The engine on the server's sinks, at a given output latency, with fades at
// their real pace.
struct LiveDecks {
    explicit LiveDecks(int latencyMs = platform::sound::SoundSystem::kDefaultLatencyMs)
        : engine(events, port), playback(engine, events, port) {
        sound = std::make_unique<platform::sound::SoundSystem>(
            std::make_unique<platform::sound::PortAudioBackend>());
        sound->SetOutputLatency(latencyMs);
        main = std::make_unique<output::CZelOutput>(*sound);
        phones = std::make_unique<output::CZelOutput>(*sound);
        main->Open(IdOf(*sound, "main"), "main (Can't Split)");
        phones->Open(IdOf(*sound, "phones"), "phones (Can't Split)");
        playback.SetOutputs(phones.get(), main.get());
        for (int d = 0; d < 2; ++d) {
            decks[d].port = &port;
            decks[d].index = d;
            engine.SetDeckLink(d, &decks[d]);
        }
        port.SetHandler([this](Message m, const platform::Payload& payload) -> intptr_t {
            const int d = platform::DeckOf(payload);
            if (m == Message::DeckPrimed) playback.PrimeDeck(d);
            if (m == Message::ForwardNotify) playback.OnForwardNotify(d);
            if (m == Message::StopForward) playback.StopForward(d);
            if (m == Message::LengthMeasured) engine.OnLengthMeasured();
            return 0;
        });
    }
    ~LiveDecks() {
        playback.Shutdown();
        engine.Shutdown();
        port.Close();
    }
    bool Ready() const { return main->IsOpen() && main->Device()->HasDirectSound(); }

    engine::EngineEvents events;
    platform::MessagePort port;
    engine::Engine engine;
    engine::Playback playback;
    std::unique_ptr<platform::sound::SoundSystem> sound;
    std::unique_ptr<output::CZelOutput> main, phones;
    StoppingDeck decks[2];
};

void BusyCore(std::atomic<bool>& busy) {
    volatile uint64_t sink = 0;
    while (busy.load(std::memory_order_relaxed)) sink = sink + 1;
}

double ThreadCpuSeconds(std::thread& thread) {
    clockid_t clock{};
    pthread_getcpuclockid(thread.native_handle(), &clock);
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void BM_TwoDecksLiveOnPulse(benchmark::State& state) {
    if (!Server().Running()) {
        state.SkipWithError("no PulseAudio server (pulseaudio, pulseaudio-utils, libasound2-plugins)");
        return;
    }
    TrackPath(0);
    TrackPath(1);
    const auto seconds = std::chrono::seconds(state.range(0));
    for (auto _ : state) {
        LiveDecks live;
        if (!live.Ready()) {
            state.SkipWithError("the sink \"main\" could not be opened");
            return;
        }
        std::atomic<bool> busy{true};
        std::thread hog([&] { BusyCore(busy); });
        const double cpuBefore = ProcessCpuSeconds();
        const auto start = Clock::now();
        int underrunRecoveries = 0;
        while (Clock::now() - start < seconds) {
            for (int d = 0; d < 2; ++d) {
                live.decks[d].ended = false;
                live.engine.LoadFile(d, TrackPath(d));
                live.playback.StartForward(d);
            }
            while ((live.playback.PlayingForward(0) || live.playback.PlayingForward(1)) &&
                   Clock::now() - start < seconds) {
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
                live.sound->MaintainStreams();
            }
            underrunRecoveries += live.playback.Underruns(0) + live.playback.Underruns(1);
        }
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        const double cpu = ProcessCpuSeconds() - cpuBefore - ThreadCpuSeconds(hog);
        busy.store(false);
        hog.join();
        state.SetIterationTime(wall);
        state.counters["cpu_percent"] = 100.0 * cpu / wall;
        state.counters["stream_underruns"] = static_cast<double>(live.sound->Underruns());
        state.counters["engine_underruns"] = underrunRecoveries;
        state.counters["peak_rss_MB"] = static_cast<double>(StatusKilobytes("VmHWM:")) / 1024.0;
        state.counters["realtime_granted"] =
            live.main->Device()->DirectSoundObject()->Stream() &&
                    live.main->Device()->DirectSoundObject()->Stream()->Realtime() ==
                        platform::sound::RealtimeScheduling::Granted
                ? 1
                : 0;
    }
}
BENCHMARK(BM_TwoDecksLiveOnPulse)->Arg(600)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

// Records the sink's monitor on a thread, noting when each sample arrived.
class MonitorRecorder {
public:
    MonitorRecorder() {
        thread_ = std::thread([this] { Run(); });
    }
    ~MonitorRecorder() {
        stop_.store(true);
        if (pipe_) pclose(pipe_);
        thread_.join();
    }
    // When the first sample louder than `threshold` arrived after `after`; a
    // sample arrives when the read that carries it returns, less the samples
    // that followed it in that read.
    std::optional<Clock::time_point> FirstSoundAfter(Clock::time_point after, int threshold) {
        std::lock_guard lock(mutex_);
        for (const Chunk& chunk : chunks_) {
            if (chunk.arrived < after) continue;
            for (size_t f = 0; f < chunk.samples.size() / 2; ++f) {
                if (std::abs(chunk.samples[2 * f]) <= threshold) continue;
                const double later = static_cast<double>(chunk.samples.size() / 2 - 1 - f) / kRate;
                return chunk.arrived -
                       std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(later));
            }
        }
        return std::nullopt;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        chunks_.clear();
    }

private:
    struct Chunk {
        Clock::time_point arrived;
        std::vector<int16_t> samples;
    };
    void Run() {
        pipe_ = popen("parec --latency-msec=2 -d main.monitor --format=s16le --rate=44100 --channels=2 --raw",
                      "r");
        if (!pipe_) return;
        std::vector<int16_t> buffer(2 * 64);
        while (!stop_.load()) {
            const size_t got = fread(buffer.data(), sizeof(int16_t), buffer.size(), pipe_);
            if (got == 0) break;
            std::lock_guard lock(mutex_);
            chunks_.push_back({Clock::now(), std::vector<int16_t>(buffer.begin(),
                                                                  buffer.begin() + static_cast<long>(got))});
        }
    }
    FILE* pipe_ = nullptr;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<Chunk> chunks_;
    std::thread thread_;
};

void BM_PlayToFirstSoundAtTheSink(benchmark::State& state) {
    if (!Server().Running()) {
        state.SkipWithError("no PulseAudio server (pulseaudio, pulseaudio-utils, libasound2-plugins)");
        return;
    }
    if (QStandardPaths::findExecutable("parec").isEmpty()) {
        state.SkipWithError("parec is missing");
        return;
    }
    TrackPath(0);
    LiveDecks live(static_cast<int>(state.range(0)));
    if (!live.Ready()) {
        state.SkipWithError("the sink \"main\" could not be opened");
        return;
    }
    MonitorRecorder monitor;
    double worst = 0.0, sum = 0.0, fades = 0.0;
    int presses = 0;
    for (auto _ : state) {
        live.engine.LoadFile(0, TrackPath(0));
        platform::WaitDispatching(live.events.deck[0].deckReadyToPlay);
        platform::SleepDispatching(300ms);  // the monitor runs steadily before the press
        monitor.Clear();
        const auto pressed = Clock::now();
        live.playback.StartForward(0);  // returns when its fade-in is over
        fades += std::chrono::duration<double, std::milli>(Clock::now() - pressed).count();
        platform::SleepDispatching(300ms);
        live.playback.StopForward(0);
        // The first sample that is not silence: the fade starts from nothing.
        const auto heard = monitor.FirstSoundAfter(pressed - 50ms, 0);
        if (!heard) {
            state.SkipWithError("nothing was heard at the sink");
            return;
        }
        const double ms = std::chrono::duration<double, std::milli>(*heard - pressed).count();
        state.SetIterationTime(ms / 1000.0);
        worst = std::max(worst, ms);
        sum += ms;
        ++presses;
    }
    state.counters["mean_ms"] = sum / presses;
    state.counters["worst_ms"] = worst;
    state.counters["fade_ms"] = fades / presses;
    state.counters["latency_asked_ms"] = live.sound->OutputLatency();
}
BENCHMARK(BM_PlayToFirstSoundAtTheSink)
    ->Arg(20)
    ->Arg(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
