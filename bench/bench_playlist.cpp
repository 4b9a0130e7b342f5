// The play list window in the whole program, in real time, with deck A playing
// through PortAudio into a PulseAudio server of our own:
// - a 10,000-entry .m3u added: the time until every row is shown;
// - a folder tree of 5,000 music files added: the time until all are listed.
// Both report the longest stall of the window's event loop while they run
// (a 2 ms timer's longest gap, less its period) and the decks' underruns.
//
// Run it on a display, e.g. under Xvfb:
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/bench_playlist
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QTreeWidget>

#include <chrono>
#include <fstream>

#include "EventLoop.h"
#include "PrivateSoundServer.h"
#include "app/COrvo2Dlg.h"
#include "app/CZelCommandLineInfo.h"
#include "deck/CZelDeck2.h"
#include "engine/DeckTransport.h"
#include "engine/EngineEvents.h"
#include "output/CZelOutput.h"
#include "platform/sound/PortAudioBackend.h"
#include "platform/sound/SoundSystem.h"
#include "playlist/CZelPlayList2.h"
#include "settings/CZelSettings.h"
#include "support/AudioFixtures.h"
#include "ui/DarkLook.h"

namespace {

constexpr int kRate = 44'100;
// The times measured are read at the first look after they end.
constexpr std::chrono::milliseconds kPoll(1);

// The longest time the event loop went without serving a 2 ms timer.
class StallProbe {
public:
    StallProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            longest_ = std::max(longest_, since_.nsecsElapsed() / 1e6 - kPeriodMs);
            since_.restart();
        });
        since_.start();
        timer_.start(kPeriodMs);
    }
    double LongestMs() const { return longest_; }

private:
    static constexpr int kPeriodMs = 2;
    QTimer timer_;
    QElapsedTimer since_;
    double longest_ = 0.0;
};

// The program with deck A playing a long track.
struct PlayingProgram {
    explicit PlayingProgram(const QTemporaryDir& dir)
        : settings(QDir(dir.path()).filePath("settings.ini")),
          sound(std::make_unique<platform::sound::PortAudioBackend>()) {
        settings.WriteShowTipOfTheDay(false);
        settings.WriteSoundDeviceMain("main");
        settings.WriteSoundDeviceHeadphones("phones");
        window = std::make_unique<COrvo2Dlg>(events, commandLine, sound, settings);
        window->setModal(false);
        window->show();
        window->PlayList().show();
    }
    ~PlayingProgram() { window->Terminate(); }

    bool Play(const std::string& track) {
        if (!RunUntil([&] { return window->MainOutput().IsOpen(); }, std::chrono::seconds(10), kPoll))
            return false;
        CZelDeck2& deck = window->Deck(0);
        const QString path = QString::fromStdString(track);
        deck.SetFileChooser([path](QWidget*, const QString&) { return QStringList{path}; });
        deck.ChooseSource(engine::DeckTransport::kBrowseEntry);
        deck.Transport().TogglePlay(false);
        RunFor(std::chrono::seconds(2));  // settled
        return deck.Transport().Playing();
    }

    CZelSettings settings;
    engine::EngineEvents events;
    app::CZelCommandLineInfo commandLine;
    platform::sound::SoundSystem sound;
    std::unique_ptr<COrvo2Dlg> window;
};

std::string Track(const QTemporaryDir& dir, int seconds) {
    const std::string path = QDir(dir.path()).filePath("playing.wav").toStdString();
    fixtures::WriteWav(path, fixtures::Noise(seconds * kRate, 2, 5, 0.3), 2, kRate);
    return path;
}

void Report(benchmark::State& state, double seconds, const StallProbe& probe, PlayingProgram& program,
            uint64_t underrunsBefore) {
    state.SetIterationTime(seconds);
    state.counters["longest_stall_ms"] = probe.LongestMs();
    state.counters["underruns"] = static_cast<double>(program.window->Desk().Underruns() - underrunsBefore);
    state.counters["still_playing"] = program.window->Deck(0).Transport().Playing() ? 1 : 0;
}

void BM_LongListShown(benchmark::State& state) {
    if (!Server().Running()) {
        state.SkipWithError("no PulseAudio server (pulseaudio, pulseaudio-utils, libasound2-plugins)");
        return;
    }
    const int entries = static_cast<int>(state.range(0));
    QTemporaryDir dir;
    const QString list = QDir(dir.path()).filePath("long.m3u");
    {
        std::ofstream out(list.toStdString());
        out << "#EXTM3U\n";
        for (int i = 0; i < entries; ++i)
            out << "#EXTINF:" << 180 + i % 240 << ",Artist " << i % 97 << " - Title " << i << "\n"
                << "Music/Artist " << i % 97 << "/Title " << i << ".mp3\n";
    }
    for (auto _ : state) {
        PlayingProgram program(dir);
        if (!program.Play(Track(dir, 120))) {
            state.SkipWithError("deck A does not play");
            return;
        }
        CZelPlayList2& window = program.window->PlayList();
        window.SetFileChooser([&](QWidget*, const QString&) { return QStringList{list}; });
        window.SetDeckChooser([](QWidget*) { return playlist::DeckChoice::DeckA; });
        const int before = window.Panel().Model().Count();  // deck A's track
        const uint64_t underruns = program.window->Desk().Underruns();
        StallProbe probe;
        QElapsedTimer shown;
        shown.start();
        window.AddFiles();
        state.counters["read_ms"] = shown.nsecsElapsed() / 1e6;
        if (!RunUntil([&] { return window.RefillDone(); }, std::chrono::seconds(120), kPoll)) {
            state.SkipWithError("the rows were not all shown");
            return;
        }
        const double seconds = shown.nsecsElapsed() / 1e9;
        if (window.List().topLevelItemCount() != before + entries) state.SkipWithError("rows missing");
        Report(state, seconds, probe, program, underruns);
    }
}
BENCHMARK(BM_LongListShown)
    ->ArgNames({"entries"})
    ->Arg(10'000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3);

void BM_FolderScan(benchmark::State& state) {
    if (!Server().Running()) {
        state.SkipWithError("no PulseAudio server (pulseaudio, pulseaudio-utils, libasound2-plugins)");
        return;
    }
    const int files = static_cast<int>(state.range(0));
    QTemporaryDir dir;
    // Real music files: links to one short WAV, 50 to a folder, with some
    // that are not music between them.
    const std::string one = QDir(dir.path()).filePath("one.wav").toStdString();
    fixtures::WriteWav(one, fixtures::Noise(kRate, 2, 9, 0.3), 2, kRate);
    const QString tree = QDir(dir.path()).filePath("Music");
    for (int i = 0; i < files; ++i) {
        const QString folder =
            QStringLiteral("%1/Artist %2/Album %3").arg(tree).arg(i / 500).arg(i / 50 % 10);
        if (i % 50 == 0) {
            QDir().mkpath(folder);
            QFile(folder + "/cover.jpg").open(QIODevice::WriteOnly);
        }
        QFile::link(QString::fromStdString(one), QStringLiteral("%1/%2 Track.wav").arg(folder).arg(i % 50));
    }
    for (auto _ : state) {
        PlayingProgram program(dir);
        if (!program.Play(Track(dir, 120))) {
            state.SkipWithError("deck A does not play");
            return;
        }
        CZelPlayList2& window = program.window->PlayList();
        window.SetFolderChooser([&](QWidget*) { return tree; });
        window.SetDeckChooser([](QWidget*) { return playlist::DeckChoice::Alternate; });
        const int before = window.Panel().Model().Count();
        const uint64_t underruns = program.window->Desk().Underruns();
        StallProbe probe;
        QElapsedTimer listed;
        listed.start();
        window.AddFolder();
        if (!RunUntil([&] { return !window.ScanUnderWay() && window.RefillDone(); },
                      std::chrono::seconds(120), kPoll)) {
            state.SkipWithError("the scan did not end");
            return;
        }
        const double seconds = listed.nsecsElapsed() / 1e9;
        if (window.Panel().Model().Count() != before + files) state.SkipWithError("files missing");
        Report(state, seconds, probe, program, underruns);
    }
}
BENCHMARK(BM_FolderScan)
    ->ArgNames({"files"})
    ->Arg(5'000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    ui::ApplyDarkLook(application);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
