// The whole program as a DJ runs it, in real time: the main window and its
// tool windows on a display, both decks playing through PortAudio into a
// PulseAudio server of our own (null sinks "main" and "phones"). Reports the
// CPU the process used over the run and its resident memory, for four set-ups:
// the decks alone (analyzer closed and off), with each deck's 5-band
// equalizer and reverb on, with the analyzer shown in octave mode, and both.
//
// Run it on a display, e.g. under Xvfb (one minute per set-up):
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/bench_desk
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>

#include <chrono>

#include "EventLoop.h"
#include "PrivateSoundServer.h"
#include "ProcessCpu.h"
#include "analysis/CZelAnalyzer.h"
#include "app/COrvo2Dlg.h"
#include "app/CZelCommandLineInfo.h"
#include "deck/CZelDeck2.h"
#include "dsp/CZelEffects.h"
#include "dsp/CZelEqualizer2.h"
#include "engine/DeckTransport.h"
#include "engine/EngineEvents.h"
#include "output/CZelOutput.h"
#include "platform/sound/PortAudioBackend.h"
#include "platform/sound/SoundSystem.h"
#include "settings/CZelSettings.h"
#include "support/AudioFixtures.h"
#include "ui/DarkLook.h"
#include "ui/controls/CZelButton.h"

namespace {

constexpr int kRate = 44'100;
constexpr int kEqualizerAndEffects = 1;
constexpr int kAnalyzer = 2;

// Music-like tracks: tones under noise, a minute and a half each.
std::string Track(const QTemporaryDir& dir, int deck) {
    const int frames = 90 * kRate;
    const auto noise = fixtures::Noise(frames, 2, 11 + deck, 0.2);
    const auto tone = fixtures::Sine(deck == 0 ? 110.0 : 165.0, 90.0, kRate, 2, 0.4);
    std::vector<int16_t> mixed(noise.size());
    for (size_t i = 0; i < mixed.size(); ++i) mixed[i] = static_cast<int16_t>(noise[i] / 2 + tone[i]);
    const std::string path = QDir(dir.path()).filePath(deck == 0 ? "a.wav" : "b.wav").toStdString();
    fixtures::WriteWav(path, mixed, 2, kRate);
    return path;
}

void Click(QWidget& window, const char* name, bool on) {
    if (auto* button = window.findChild<CZelButton*>(name)) button->SetValue(on);
}

void BM_WholeProgramTwoDecks(benchmark::State& state) {
    if (!Server().Running()) {
        state.SkipWithError("no PulseAudio server (pulseaudio, pulseaudio-utils, libasound2-plugins)");
        return;
    }
    const int setUp = static_cast<int>(state.range(0));
    QTemporaryDir dir;
    const std::string tracks[2] = {Track(dir, 0), Track(dir, 1)};
    CZelSettings settings(QDir(dir.path()).filePath("settings.ini"));
    settings.WriteShowTipOfTheDay(false);
    settings.WriteSoundDeviceMain("main");
    settings.WriteSoundDeviceHeadphones(state.range(2) ? "phones" : "");

    for (auto _ : state) {
        engine::EngineEvents events;
        app::CZelCommandLineInfo commandLine;
        platform::sound::SoundSystem sound(std::make_unique<platform::sound::PortAudioBackend>());
        COrvo2Dlg window(events, commandLine, sound, settings);
        window.setModal(false);
        window.show();
        if (!RunUntil([&] { return window.MainOutput().IsOpen(); }, std::chrono::seconds(10))) {
            state.SkipWithError("the sink \"main\" could not be opened");
            return;
        }
        for (int deck = 0; deck < 2; ++deck) {
            CZelDeck2& d = window.Deck(deck);
            const QString path = QString::fromStdString(tracks[deck]);
            d.SetFileChooser([path](QWidget*, const QString&) { return QStringList{path}; });
            d.ChooseSource(engine::DeckTransport::kBrowseEntry);
            if (setUp & kEqualizerAndEffects) {
                window.Equalizer(deck).Panel().ChooseBands(5);
                Click(window.Equalizer(deck), "eqOnButton", true);
                window.Effects(deck).Panel().ChooseEffect("Reverb");
                Click(window.Effects(deck), "effectOnOff", true);
            }
        }
        CZelAnalyzer& analyzer = window.Analyzer();
        Click(analyzer, "octave", true);
        analyzer.Panel().SetMode(analysis::Mode::Octave);
        analyzer.Panel().SetOn(setUp & kAnalyzer);
        analyzer.setVisible(setUp & kAnalyzer);
        for (int deck = 0; deck < 2; ++deck) window.Deck(deck).Transport().TogglePlay(false);
        RunFor(std::chrono::seconds(2));  // settled

        const double cpuBefore = ProcessCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        RunFor(std::chrono::seconds(state.range(1)));
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu = ProcessCpuSeconds() - cpuBefore;
        state.SetIterationTime(wall);
        state.counters["cpu_percent"] = 100.0 * cpu / wall;
        state.counters["rss_MB"] = static_cast<double>(StatusKilobytes("VmRSS:")) / 1024.0;
        state.counters["peak_rss_MB"] = static_cast<double>(StatusKilobytes("VmHWM:")) / 1024.0;
        state.counters["underruns"] = static_cast<double>(window.Desk().Underruns());
        state.counters["both_playing"] =
            window.Deck(0).Transport().Playing() && window.Deck(1).Transport().Playing() ? 1 : 0;
        window.Terminate();
    }
}
BENCHMARK(BM_WholeProgramTwoDecks)
    ->ArgNames({"setup", "seconds", "phones"})
    ->Args({0, 60, 1})
    ->Args({kEqualizerAndEffects, 60, 1})
    ->Args({kAnalyzer, 60, 1})
    ->Args({kEqualizerAndEffects | kAnalyzer, 60, 1})
    ->Args({0, 60, 0})
    ->Args({kEqualizerAndEffects | kAnalyzer, 60, 0})
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    ui::ApplyDarkLook(application);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
