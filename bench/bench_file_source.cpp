// Decoding a file into a deck's ring: the whole path (open thread, reader
// thread, messages to the window, block hand-over), and the time a DJ waits
// between choosing a file and the deck being ready to play.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "ProcessCpu.h"
#include "engine/Engine.h"
#include "engine/EngineEvents.h"
#include "platform/MessagePort.h"
#include "platform/media/AudioDecoder.h"
#include "platform/media/MeasuredLength.h"
#include "platform/media/MediaFile.h"
#include "support/AudioFixtures.h"

namespace {

constexpr double kTrackSeconds = 60.0;
constexpr double kLongTrackSeconds = 300.0;

// An MP3 of music-like sound (tones over noise); empty when it cannot be made.
std::string MakeMp3(const QTemporaryDir& dir, const std::string& name, double seconds,
                    const std::vector<std::string>& encoding) {
    const std::string wav = QDir(dir.path()).filePath(QString::fromStdString(name + ".wav")).toStdString();
    const std::string mp3 = QDir(dir.path()).filePath(QString::fromStdString(name + ".mp3")).toStdString();
    auto samples = fixtures::Sine(220.0, seconds, 44'100, 2, 0.3);
    const auto noise = fixtures::Noise(static_cast<int>(samples.size() / 2), 2, 7, 0.2);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(samples[i] + noise[i]);
    std::vector<std::string> args = {"-c:a", "libmp3lame"};
    args.insert(args.end(), encoding.begin(), encoding.end());
    const bool made = fixtures::WriteWav(wav, samples, 2, 44'100) && fixtures::Encode(wav, mp3, args);
    std::remove(wav.c_str());
    return made ? mp3 : std::string();
}

// A 60 s 320 kbps MP3, made once.
const std::string& Mp3Path() {
    static QTemporaryDir dir;
    static std::string path = MakeMp3(dir, "music", kTrackSeconds, {"-b:a", "320k"});
    return path;
}

// A 5-minute VBR MP3 without a Xing header (its stated length is an estimate),
// made once.
const std::string& LongMp3Path() {
    static QTemporaryDir dir;
    static std::string path = MakeMp3(dir, "long", kLongTrackSeconds, {"-q:a", "2", "-write_xing", "0"});
    return path;
}

struct Deck {
    Deck() : engine(events, port) {
        port.SetHandler([this](platform::Message m, const platform::Payload&) -> intptr_t {
            if (m == platform::Message::DeckPrimed) {
                // As the priming handler does: the block writer starts at block 0.
                engine.Ring(0).SetReadIndex(0);
                primed = true;
            }
            return 0;
        });
    }
    ~Deck() { engine.Shutdown(); }

    // The block writer's side: take what is filled, wake the reader every 27.
    int TakeAll() {
        engine::DiscBuffer& ring = engine.Ring(0);
        int taken = 0, sinceWake = 0;
        for (;;) {
            const bool ended = !engine.ReaderRunning(0);
            int now = 0;
            while (ring.IsFilled(ring.ReadIndex())) {
                ring.MarkFree(ring.ReadIndex());
                ring.AdvanceReadIndex();
                ++now;
                if (++sinceWake >= engine::kReaderWakeBlocks) {
                    events.deck[0].discReadForward.Set();
                    sinceWake = 0;
                }
            }
            taken += now;
            if (ended && now == 0) return taken;
            if (now == 0) {
                // Sleep briefly instead of spinning, as a window's event loop would.
                events.deck[0].discReadForward.Set();
                events.deck[0].threadFileReadForwardDone.WaitFor(std::chrono::microseconds(200));
                QCoreApplication::processEvents();
            }
        }
    }

    engine::EngineEvents events;
    platform::MessagePort port;
    engine::Engine engine;
    bool primed = false;
};

void BM_FileSourceIntoRing(benchmark::State& state) {
    if (Mp3Path().empty()) return state.SkipWithError("could not make the MP3");
    Deck deck;
    for (auto _ : state) {
        const double cpu = ProcessCpuSeconds();
        deck.primed = false;
        deck.engine.LoadFile(0, Mp3Path());
        while (!deck.primed) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const int blocks = deck.TakeAll();
        state.SetIterationTime(ProcessCpuSeconds() - cpu);
        if (blocks < kTrackSeconds * 15) state.SkipWithError("the track was cut short");
    }
    state.counters["realtime_x"] =
        benchmark::Counter(kTrackSeconds, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FileSourceIntoRing)->UseManualTime()->Unit(benchmark::kMillisecond);

// FFmpeg through our decoder alone, for comparison.
void BM_DecoderAlone(benchmark::State& state) {
    if (Mp3Path().empty()) return state.SkipWithError("could not make the MP3");
    platform::media::AudioDecoder decoder;
    std::vector<uint8_t> block(engine::kBlockBytes);
    for (auto _ : state) {
        const double cpu = ProcessCpuSeconds();
        decoder.Open(Mp3Path());
        while (decoder.Read(block.data(), block.size()) == block.size()) {
        }
        state.SetIterationTime(ProcessCpuSeconds() - cpu);
    }
    state.counters["realtime_x"] =
        benchmark::Counter(kTrackSeconds, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_DecoderAlone)->UseManualTime()->Unit(benchmark::kMillisecond);

// The exact length of a 5-minute MP3 (demuxed to the end, its last second
// decoded), as a loader would measure it after opening the file.
void BM_MeasureLength5MinMp3(benchmark::State& state) {
    if (LongMp3Path().empty()) return state.SkipWithError("could not make the MP3");
    const auto file = platform::media::MediaFile::Open(LongMp3Path());
    if (!file) return state.SkipWithError("could not open the MP3");
    for (auto _ : state) {
        const platform::media::MeasuredLength length = platform::media::MeasureLength(file);
        if (!length.ok) return state.SkipWithError(length.error.c_str());
        state.counters["seconds"] = length.seconds;
    }
}
BENCHMARK(BM_MeasureLength5MinMp3)->Unit(benchmark::kMillisecond);

// The same file decoded to the end, what measuring by decoding would cost.
void BM_Decode5MinMp3(benchmark::State& state) {
    if (LongMp3Path().empty()) return state.SkipWithError("could not make the MP3");
    platform::media::AudioDecoder decoder;
    std::vector<uint8_t> block(64 * 1024);
    for (auto _ : state) {
        decoder.Open(LongMp3Path());
        while (decoder.Read(block.data(), block.size()) > 0) {
        }
    }
}
BENCHMARK(BM_Decode5MinMp3)->Unit(benchmark::kMillisecond);

// From LoadFile to the priming message (121 blocks decoded, about 8 s of
// audio), wall-clock time; realtime_x is that audio per second of CPU.
void BM_LoadFileToPriming(benchmark::State& state) {
    if (Mp3Path().empty()) return state.SkipWithError("could not make the MP3");
    Deck deck;
    double cpuTotal = 0, wallTotal = 0;
    for (auto _ : state) {
        deck.primed = false;
        const double cpu = ProcessCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        deck.engine.LoadFile(0, Mp3Path());
        while (!deck.primed) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
        cpuTotal += ProcessCpuSeconds() - cpu;
        wallTotal += wall.count();
        state.SetIterationTime(wall.count());
    }
    const double primedSeconds = engine::kPrimingBlocks / 15.0;
    state.counters["priming_ms"] = 1000.0 * wallTotal / static_cast<double>(state.iterations());
    state.counters["realtime_x"] = primedSeconds * static_cast<double>(state.iterations()) / cpuTotal;
}
BENCHMARK(BM_LoadFileToPriming)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
