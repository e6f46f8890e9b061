#include "app/Application.h"

#include <exception>

#include "app/ErrorReport.h"
#include "extract/Unit_ExtractThread.h"
#include "wizard/Main.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The layers below report through these; the reports are the application's.
    ShowWizardError = [](const std::exception& error) { ShowException(error); };
    ExtractFailed = [](const std::exception& error) { FatalErrorReport(error); };
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowException(error);
    }
    return false;
}
