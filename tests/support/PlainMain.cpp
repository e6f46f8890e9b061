// The main of test programs whose windows raise no error past an event handler.
#include "tests/support/TestMain.h"

int main(int argc, char** argv) {
    return RunTestProgram(argc, argv, [](int& count, char** arguments) {
        return std::make_unique<QApplication>(count, arguments);
    });
}
