#pragma once

#include <QApplication>

#include <memory>

#include "app/CZelCommandLineInfo.h"
#include "engine/EngineEvents.h"
#include "settings/CZelSettings.h"

namespace platform::sound {
class SoundSystem;
}

// The application: creates the engine events before any window or thread,
// reads the command line and runs the main window modally.
class COrvo2App : public QApplication {
    Q_OBJECT
public:
    COrvo2App(int& argc, char** argv);
    ~COrvo2App() override;

    // Runs the program to its end and returns the exit code.
    int Run();

    engine::EngineEvents& Events() { return *events_; }
    app::CZelCommandLineInfo& CommandLine() { return commandLine_; }

private:
    void InitInstance();
    int ExitInstance();

    std::unique_ptr<engine::EngineEvents> events_;
    app::CZelCommandLineInfo commandLine_;
    CZelSettings settings_;
    std::unique_ptr<platform::sound::SoundSystem> sound_;
};
