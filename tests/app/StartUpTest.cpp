// The program as a user starts it: command-line files, the main window, and a
// clean end.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <csignal>

#include "app/COrvo2Dlg.h"
#include "app/CZelCommandLineInfo.h"
#include "engine/Engine.h"
#include "engine/EngineEvents.h"
#include "engine/EngineHarness.h"
#include "output/CZelOutput.h"
#include "platform/sound/OfflineBackend.h"
#include "platform/sound/SoundSystem.h"
#include "playlist/CZelPlayList2.h"
#include "settings/CZelSettings.h"
#include "support/AudioFixtures.h"

using testing_support::EngineHarness;

TEST(StartUp, CommandLineFilesLoadIntoDeckAWhichKeepsTheLastGoodOne) {
    QTemporaryDir dir;
    const std::string first = dir.filePath("first.wav").toStdString(),
                      third = dir.filePath("third.wav").toStdString();
    ASSERT_TRUE(fixtures::WriteWav(first, fixtures::Ramp(44'100, 2), 2, 44'100));
    ASSERT_TRUE(fixtures::WriteWav(third, fixtures::Ramp(44'100, 2, 5), 2, 44'100));

    engine::EngineEvents events;
    app::CZelCommandLineInfo commandLine;
    commandLine.ParseArguments(
        {QString::fromStdString(first), dir.filePath("unreadable.mp3"), QString::fromStdString(third)});
    platform::sound::SoundSystem sound(std::make_unique<platform::sound::OfflineBackend>(
        std::vector<platform::sound::OfflineBackend::Device>{{"Desk", 2}, {"Phones", 2}}));
    CZelSettings settings(dir.filePath("settings.ini"));
    settings.WriteShowTipOfTheDay(false);
    COrvo2Dlg dialog(events, commandLine, sound, settings);
    // The start-up runs from the dialog's event loop.
    ASSERT_TRUE(EngineHarness::WaitUntil([&] { return dialog.Engine().FilePath(0) == third; }));
    EXPECT_EQ(dialog.Engine().Kind(0), engine::SourceKind::File);
    EXPECT_EQ(dialog.Engine().Kind(1), engine::SourceKind::None);
    // The files that loaded are listed in order, the last one as deck A's.
    const playlist::PlayListModel& list = dialog.Desk().PlayList();
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.PathText(0).toStdString(), first);
    EXPECT_EQ(list.PathText(1).toStdString(), third);
    EXPECT_EQ(dialog.PlayList().Panel().LoadedPosition(0), 1);
    // The first start chose the first device for the main output and the
    // second for the headphones, and saved the choice.
    EXPECT_EQ(dialog.MainOutput().DeviceName(), "Desk");
    EXPECT_EQ(dialog.HeadphonesOutput().DeviceName(), "Phones");
    EXPECT_EQ(settings.SoundDeviceMain().value, "Desk (Can't Split)");
    dialog.done(0);
    EXPECT_FALSE(dialog.Engine().ReaderRunning(0)) << "closing the window stops the decks' threads";
}

namespace {

// Runs the program as a session would start it, lets it start up, and asks
// it to end with SIGTERM: it must end at once, by itself, with exit code 0.
void RunAndTerminate(const QString& home, const QStringList& arguments) {
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_CONFIG_HOME", home);
    environment.insert("HOME", home);
    program.setProcessEnvironment(environment);
    program.start(ORVO2_PROGRAM_PATH, arguments);
    ASSERT_TRUE(program.waitForStarted(5000));
    EXPECT_FALSE(program.waitForFinished(1500))
        << "the program ended by itself: " << program.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(10'000)) << "SIGTERM did not end the program";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

}  // namespace

TEST(StartUp, ProgramStartsWithAFileAndEndsCleanlyWhenAskedTo) {
    QTemporaryDir dir;
    const QString song = dir.filePath("song.wav");
    ASSERT_TRUE(fixtures::WriteWav(song.toStdString(), fixtures::Sine(440.0, 12.0, 44'100, 2), 2, 44'100));
    for (const QStringList& arguments :
         {QStringList{song}, QStringList{dir.filePath("missing.mp3")}, QStringList{}})
        RunAndTerminate(dir.path(), arguments);
}

TEST(StartUp, ADamagedSettingsPathNeitherHangsNorStallsTheStartAndIsLeftAlone) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("Zel Morrow"));
    const QString settings = dir.filePath("Zel Morrow/Orvo 2.ini");
    // A FIFO would block the first read for ever.
    ASSERT_EQ(::mkfifo(settings.toLocal8Bit().constData(), 0644), 0);
    RunAndTerminate(dir.path(), {});
    ASSERT_TRUE(QFile::remove(settings));

    // Tens of megabytes would take seconds to parse, at every read.
    QFile huge(settings);
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(30 * 1024 * 1024));
    huge.close();
    const QFileInfo before(settings);
    RunAndTerminate(dir.path(), {});
    EXPECT_EQ(QFileInfo(settings).size(), before.size()) << "the damaged file is left as it was";
    EXPECT_EQ(QFileInfo(settings).lastModified(), before.lastModified());
}

TEST(CommandLine, EveryArgumentIsAPathInOrderAndNoneGivesOneEmptyPath) {
    app::CZelCommandLineInfo info;
    info.ParseArguments({"/tmp/one song.mp3", "/x", "-y", "relative/two.wav"});
    ASSERT_TRUE(info.HasFiles());
    // An absolute path stays a path; a switch is taken as a path without its marker.
    for (const char* expected : {"/tmp/one song.mp3", "x", "y", "relative/two.wav"}) {
        bool isLast = false;
        EXPECT_EQ(info.GetNextFile(isLast), expected);
        EXPECT_EQ(isLast, QString(expected) == "relative/two.wav") << expected;
    }

    app::CZelCommandLineInfo none;
    none.ParseArguments({});
    EXPECT_FALSE(none.HasFiles());
    bool isLast = false;
    EXPECT_EQ(none.GetNextFile(isLast), "");
    EXPECT_TRUE(isLast);
}

TEST(EngineEvents, DecksHaveTheirOwnEventsAndThreadDoneEventsStartSignalled) {
    engine::EngineEvents events;
    events.deck[0].discReadForward.Set();
    EXPECT_FALSE(events.deck[1].discReadForward.IsSet()) << "signalling Deck A must not wake Deck B";
    EXPECT_NE(events.deck[0].discReadForward.Name(), events.deck[1].discReadForward.Name());
    // Nothing runs yet: a stop that waits for a thread to be done must not wait.
    for (const auto& deck : events.deck) {
        EXPECT_TRUE(deck.threadFileReadForwardDone.IsSet() && deck.threadCdReadForwardDone.IsSet());
        EXPECT_TRUE(deck.threadPlayForwardDone.IsSet() && deck.threadPlayBackwardDone.IsSet());
        EXPECT_FALSE(deck.deckReadyToPlay.IsSet());
        EXPECT_TRUE(deck.playForwardNotify.IsManualReset());
    }
    EXPECT_FALSE(events.trackLengthLoad.IsManualReset());
}
