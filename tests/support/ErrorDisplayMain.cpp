// The main of test programs whose windows may raise an error past an event
// handler: the program's own application object shows it and goes on.
#include "dialogs/Application.h"
#include "tests/support/TestMain.h"

int main(int argc, char** argv) {
    return RunTestProgram(argc, argv, [](int& count, char** arguments) {
        return std::make_unique<TApplication>(count, arguments);
    });
}
