#include "app/COrvo2App.h"

int main(int argc, char* argv[]) {
    COrvo2App application(argc, argv);
    return application.Run();
}
