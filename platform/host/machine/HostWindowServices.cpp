#include "platform/host/machine/HostWindowServices.h"

#include <QApplication>
#include <QScreen>

HostWindowServices::HostWindowServices(std::filesystem::path prefixFolder, ProcessStarter starter)
    : prefixFolder_(std::move(prefixFolder)), starter_(std::move(starter)) {}

void HostWindowServices::MessageBeep(std::uint32_t) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) QApplication::beep();
}

ScreenSize HostWindowServices::GetScreenSize() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return {};
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return {};
    const QSize size = screen->size();
    return ScreenSize{size.width(), size.height()};
}

bool HostWindowServices::ExitWindowsEx(std::uint32_t) {
    const auto wineboot = FindProgramOnPath("wineboot");
    if (!wineboot) return false;
    ProcessRequest request;
    request.arguments = {wineboot->string(), "--restart"};
    request.environment = {"WINEPREFIX=" + prefixFolder_.string()};
    // Without a display Wine fills the terminal with its display drivers' errors.
    request.diagnostic = true;
    return starter_(request);
}
