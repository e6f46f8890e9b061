#include "dialogs/Application.h"

#include <exception>

#include "dialogs/ErrorReport.h"
#include "platform/DiagnosticLog.h"

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        diag::Failure(error, "the wizard (shown in a message box)");
        ShowException(error);
    }
    return false;
}
