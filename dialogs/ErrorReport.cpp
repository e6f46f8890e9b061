#include "dialogs/ErrorReport.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "dialogs/WindowParents.h"
#include "platform/CodePage.h"
#include "platform/DiagnosticLog.h"
#include "platform/Exceptions.h"
#include "platform/ExitCodes.h"

namespace {
std::function<void(const std::string&, const std::string&)> fatalHandler;

QString ToQString(const std::string& ansi) { return QString::fromStdString(AnsiToUtf8(ansi)); }

// As the window framework does: a full stop is added unless the message ends in
// one (or in a character sorting before it, such as a closing quote).
std::string WithFullStop(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + '.';
    return message;
}
}  // namespace

std::string ErrorClassName(const std::exception& error) {
    if (const auto* known = dynamic_cast<const Exception*>(&error)) return known->ClassName();
    return "Exception";
}

void ShowException(const std::exception& error) {
    QMessageBox::critical(OwnerWindow(), QApplication::applicationName(),
                          ToQString(WithFullStop(error.what())));
}

std::string FatalErrorText(const std::exception& error, const void* address) {
    // Eight hex digits at least, "00000000" for none: glibc's %p would give "(nil)".
    char where[32];
    std::snprintf(where, sizeof where, "%.8llX",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(address)));
    // "Exception %s in module %s at %p.\n%s%s"
    return "Exception " + ErrorClassName(error) + " in module Setup at " + where + ".\n" +
           WithFullStop(error.what());
}

void SetFatalErrorHandler(std::function<void(const std::string&, const std::string&)> handler) {
    fatalHandler = std::move(handler);
}

void FatalErrorReport(const std::exception& error, const void* address) {
    const std::string text = FatalErrorText(error, address);
    diag::Failure(error, "the copying (the fatal error report ends Setup)");
    if (fatalHandler) {
        fatalHandler("Application Error", text);
    } else {
        std::fprintf(stderr, "Application Error: %s\n", text.c_str());
        if (QApplication::instance() != nullptr)
            QMessageBox::critical(OwnerWindow(), "Application Error", ToQString(text));
    }
    std::_Exit(ExitFailedPartWay);
}
