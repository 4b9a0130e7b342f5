// The program as a user starts it: command-line files, the main window, and a
// clean end.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

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
#include "settings/CZelSettings.h"
#include "support/AudioFixtures.h"

using testing_support::EngineHarness;

TEST(StartUp, CommandLineFilesLoadIntoDeckAWhichKeepsTheLastGoodOne) {
    QTemporaryDir dir;
    const std::string first = QDir(dir.path()).filePath("first.wav").toStdString();
    const std::string third = QDir(dir.path()).filePath("third.wav").toStdString();
    ASSERT_TRUE(fixtures::WriteWav(first, fixtures::Ramp(44'100, 2), 2, 44'100));
    ASSERT_TRUE(fixtures::WriteWav(third, fixtures::Ramp(44'100, 2, 5), 2, 44'100));

    engine::EngineEvents events;
    app::CZelCommandLineInfo commandLine;
    commandLine.ParseArguments(
        {QString::fromStdString(first), dir.path() + "/unreadable.mp3", QString::fromStdString(third)});
    platform::sound::SoundSystem sound(std::make_unique<platform::sound::OfflineBackend>(
        std::vector<platform::sound::OfflineBackend::Device>{{"Desk", 2}, {"Phones", 2}}));
    CZelSettings settings(dir.path() + "/settings.ini");
    settings.WriteShowTipOfTheDay(false);
    COrvo2Dlg dialog(events, commandLine, sound, settings);
    // The start-up runs from the dialog's event loop.
    ASSERT_TRUE(EngineHarness::WaitUntil([&] { return dialog.Engine().FilePath(0) == third; }));
    EXPECT_EQ(dialog.Engine().Kind(0), engine::SourceKind::File);
    EXPECT_EQ(dialog.Engine().Kind(1), engine::SourceKind::None);
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

TEST(StartUp, ADamagedSettingsPathNeitherHangsNorStallsTheStartAndIsLeftAlone) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("Zel Morrow"));
    const QString settings = dir.path() + "/Zel Morrow/Orvo 2.ini";

    // A FIFO would block the first read for ever.
    ASSERT_EQ(::mkfifo(settings.toLocal8Bit().constData(), 0644), 0);
    RunAndTerminate(dir.path(), {});
    ASSERT_TRUE(QFile::remove(settings));

    // Tens of megabytes would take seconds to parse, at every read.
    {
        QFile huge(settings);
        ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
        const QByteArray line("[Settings]\nlevelDeckA=1060320051\n");
        for (int i = 0; i < 30 * 1024 * 1024 / line.size(); ++i) huge.write(line);
    }
    const qint64 size = QFileInfo(settings).size();
    const QDateTime modified = QFileInfo(settings).lastModified();
    RunAndTerminate(dir.path(), {});
    EXPECT_EQ(QFileInfo(settings).size(), size) << "the damaged file is left as it was";
    EXPECT_EQ(QFileInfo(settings).lastModified(), modified);
}

TEST(StartUp, ProgramStartsWithAFileAndEndsCleanlyWhenAskedTo) {
    QTemporaryDir dir;
    const QString song = QDir(dir.path()).filePath("song.wav");
    ASSERT_TRUE(fixtures::WriteWav(song.toStdString(), fixtures::Sine(440.0, 12.0, 44'100, 2), 2, 44'100));

    for (const QStringList& arguments :
         {QStringList{song}, QStringList{dir.path() + "/missing.mp3"}, QStringList{}})
        RunAndTerminate(dir.path(), arguments);
}
