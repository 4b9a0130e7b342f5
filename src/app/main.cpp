#include "app/COrvo2App.h"
#include "platform/TerminationSignals.h"

int main(int argc, char* argv[]) {
    platform::TerminationSignals::InstallEarly();
    COrvo2App application(argc, argv);
    return application.Run();
}
