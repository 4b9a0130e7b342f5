#include "app/COrvo2App.h"

#include "app/COrvo2Dlg.h"
#include "platform/TerminationSignals.h"
#include "platform/sound/PortAudioBackend.h"
#include "platform/sound/SoundSystem.h"
#include "ui/DarkLook.h"

COrvo2App::COrvo2App(int& argc, char** argv)
    : QApplication(argc, argv), events_(std::make_unique<engine::EngineEvents>()) {
    setOrganizationName("Zel Morrow");
    // No display name: Qt would append it to every window's title.
    setApplicationName("Orvo 2");
    // Desktops match the windows to the installed desktop entry and icon.
    setDesktopFileName("org.zelmorrow.Orvo2");
    ui::ApplyDarkLook(*this);
}

COrvo2App::~COrvo2App() = default;

int COrvo2App::Run() {
    InitInstance();
    return ExitInstance();
}

void COrvo2App::InitInstance() {
    // Qt has already taken its own options (-platform and the like) out.
    QStringList arguments = QApplication::arguments();
    if (!arguments.isEmpty()) arguments.removeFirst();
    commandLine_.ParseArguments(arguments);

    sound_ =
        std::make_unique<platform::sound::SoundSystem>(std::make_unique<platform::sound::PortAudioBackend>());
    COrvo2Dlg dialog(*events_, commandLine_, *sound_, settings_);
    platform::TerminationSignals termination;
    QObject::connect(&termination, &platform::TerminationSignals::Terminated, &dialog, &COrvo2Dlg::Terminate);
    dialog.exec();
}

int COrvo2App::ExitInstance() {
    sound_.reset();
    events_.reset();
    return 0;
}
