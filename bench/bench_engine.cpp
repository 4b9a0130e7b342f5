// Two decks playing on both outputs through the whole engine: reader threads,
// notify threads, block feeding on the window's thread and the mixer, rendered
// by the Offline outputs well above real time.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <pthread.h>
#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

#include "ProcessCpu.h"
#include "StoppingDeck.h"
#include "engine/DeckLink.h"
#include "engine/Engine.h"
#include "engine/EngineEvents.h"
#include "engine/Playback.h"
#include "output/CZelOutput.h"
#include "platform/MessagePort.h"
#include "platform/sound/OfflineBackend.h"
#include "platform/sound/SoundSystem.h"
#include "support/AudioFixtures.h"

using platform::Message;
using platform::sound::OfflineBackend;

namespace {

constexpr double kTrackSeconds = 60.0;

const std::string& TrackPath(int deck) {
    static QTemporaryDir dir;
    static std::string paths[2];
    if (paths[deck].empty()) {
        paths[deck] = QDir(dir.path()).filePath(deck == 0 ? "a.wav" : "b.wav").toStdString();
        fixtures::WriteWav(paths[deck],
                           fixtures::Noise(static_cast<int>(kTrackSeconds * 44'100), 2, 11 + deck, 0.3), 2,
                           44'100);
    }
    return paths[deck];
}

// Plays both decks to the end of their tracks at `speed` times real time.
struct TwoDecks {
    explicit TwoDecks(double speed) : engine(events, port), playback(engine, events, port) {
        auto backend =
            std::make_unique<OfflineBackend>(std::vector<OfflineBackend::Device>{{"Main", 2}, {"Phones", 2}});
        offline = backend.get();
        backend->SetCaptureByDefault(false);  // nothing to listen to afterwards
        backend->SetPacing(speed);
        sound = std::make_unique<platform::sound::SoundSystem>(std::move(backend));
        main = std::make_unique<output::CZelOutput>(*sound);
        phones = std::make_unique<output::CZelOutput>(*sound);
        main->Open(OfflineBackend::IdOf("Main"), "Main (Can't Split)");
        phones->Open(OfflineBackend::IdOf("Phones"), "Phones (Can't Split)");
        playback.SetOutputs(phones.get(), main.get());
        playback.SetFadeStepWait([speed] {
            platform::SleepDispatching(std::chrono::microseconds(static_cast<long>(100 / speed) + 1));
        });
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
            return 0;
        });
    }
    ~TwoDecks() {
        playback.Shutdown();
        engine.Shutdown();
        port.Close();
    }
    void PlayToTheEnd() {
        for (int d = 0; d < 2; ++d) {
            engine.LoadFile(d, TrackPath(d));
            playback.StartForward(d);
        }
        while (playback.PlayingForward(0) || playback.PlayingForward(1))
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    engine::EngineEvents events;
    platform::MessagePort port;
    engine::Engine engine;
    engine::Playback playback;
    OfflineBackend* offline = nullptr;
    std::unique_ptr<platform::sound::SoundSystem> sound;
    std::unique_ptr<output::CZelOutput> main, phones;
    StoppingDeck decks[2];
};

void BM_TwoDecksThroughTheEngine(benchmark::State& state) {
    TrackPath(0);
    TrackPath(1);
    int underruns = 0;
    for (auto _ : state) {
        TwoDecks rig(static_cast<double>(state.range(0)));
        const double cpu = ProcessCpuSeconds();
        rig.PlayToTheEnd();
        state.SetIterationTime(ProcessCpuSeconds() - cpu);
        underruns += rig.playback.Underruns(0) + rig.playback.Underruns(1);
    }
    state.counters["underruns"] = underruns;
    state.counters["realtime_x"] =
        benchmark::Counter(kTrackSeconds, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_TwoDecksThroughTheEngine)
    ->Arg(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

// Thirty minutes of two-deck playback at ten times real time (three minutes
// of wall time) while another thread keeps a core busy: underruns counted.
void BM_GlitchesOverThirtyMinutes(benchmark::State& state) {
    TrackPath(0);
    TrackPath(1);
    std::atomic<bool> busy{true};
    std::thread hog([&] {
        volatile uint64_t sink = 0;
        while (busy.load(std::memory_order_relaxed)) sink = sink + 1;
    });
    // The busy thread's own CPU time is not the engine's.
    clockid_t hogClock{};
    pthread_getcpuclockid(hog.native_handle(), &hogClock);
    auto hogSeconds = [&] {
        timespec t{};
        clock_gettime(hogClock, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    };
    int underruns = 0;
    for (auto _ : state) {
        TwoDecks rig(10.0);
        const double cpu = ProcessCpuSeconds() - hogSeconds();
        for (int played = 0; played < 30 * 60 / static_cast<int>(kTrackSeconds); ++played) {
            rig.decks[0].ended = rig.decks[1].ended = false;
            rig.PlayToTheEnd();
        }
        state.SetIterationTime(ProcessCpuSeconds() - hogSeconds() - cpu);
        underruns += rig.playback.Underruns(0) + rig.playback.Underruns(1);
    }
    busy.store(false);
    hog.join();
    state.counters["underruns"] = underruns;
    state.counters["realtime_x"] = benchmark::Counter(30 * 60, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_GlitchesOverThirtyMinutes)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
