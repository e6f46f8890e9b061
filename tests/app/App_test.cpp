// How errors reach the user: the message box of an event handler's error, the
// fatal error report, and the checks at start.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/StartUp.h"
#include "dialogs/ErrorReport.h"
#include "install/Unit_Installation.h"
#include "platform/Exceptions.h"
#include "platform/WinTypes.h"

namespace {

TEST(FatalErrorText, NamesClassModuleAddressAndMessage) {
    EXPECT_EQ(FatalErrorText(EInOutError(win::ERROR_DISK_FULL), nullptr)
                  .rfind("Exception EInOutError in module Setup at ", 0),
              0u);
    const std::string text = FatalErrorText(ERegistryException("Failed to set data for 'x'"),
                                            reinterpret_cast<const void*>(0x1234));
    EXPECT_NE(text.find("ERegistryException"), std::string::npos);
    EXPECT_NE(text.find(" at 00001234.\n"), std::string::npos) << text;
    // A message ending in a character that sorts before the full stop (a quote,
    // or the full stop itself) gets none added; an unknown class is "Exception".
    EXPECT_TRUE(text.ends_with(".\nFailed to set data for 'x'")) << text;
    EXPECT_TRUE(FatalErrorText(std::runtime_error("Stop."), nullptr).ends_with("\nStop.")) << "";
    EXPECT_TRUE(FatalErrorText(std::runtime_error("Go on"), nullptr).ends_with("\nGo on."));
    EXPECT_EQ(FatalErrorText(std::runtime_error("x"), nullptr).rfind("Exception Exception in", 0),
              0u);
}

TEST(FatalErrorText, FullDiskNamesTheReasonAndTheFile) {
    // No address is eight zeros (glibc's %p would print "(nil)").
    EXPECT_EQ(FatalErrorText(EWriteError(win::ERROR_DISK_FULL, "C:\\Program Files\\Lingora\\L.exe"),
                             nullptr),
              "Exception EWriteError in module Setup at 00000000.\nStream write error\n"
              "There is not enough space on the disk. (C:\\Program Files\\Lingora\\L.exe)");
    EXPECT_EQ(FatalErrorText(EWriteError(), nullptr),
              "Exception EWriteError in module Setup at 00000000.\nStream write error.");
}

TEST(WizardExitCode, FailedPartWayUnlessALaterTryWentThrough) {
    TInstallationPars pars;
    EXPECT_EQ(WizardExitCode(0, pars), 0);
    pars.FailedPartWay = true;
    EXPECT_EQ(WizardExitCode(0, pars), 1);
}

struct ReportEnded {};

TEST(FatalErrorReport, ShowsApplicationErrorWithTheText) {
    std::string title, text;
    SetFatalErrorHandler([&](const std::string& t, const std::string& x) {
        title = t;
        text = x;
        throw ReportEnded{};  // instead of ending the test program
    });
    EXPECT_THROW(FatalErrorReport(EWriteError()), ReportEnded);
    SetFatalErrorHandler(nullptr);
    EXPECT_EQ(title, "Application Error");
    EXPECT_TRUE(text.ends_with("Stream write error.")) << text;
}

// An object whose handler of one kind of event fails.
class FailingHandler : public QObject {
  public:
    int handled = 0;
    bool event(QEvent* event) override {
        if (event->type() != QEvent::User) return QObject::event(event);
        ++handled;
        throw EFOpenError("Setup.d01");
    }
};

TEST(EventHandlerError, IsShownAndTheProgramGoesOn) {
    // Delivered straight to the handler: an error thrown through Qt's own input
    // handling would leave Qt's bookkeeping of that event behind.
    FailingHandler handler;
    std::string title, text;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            title = box->windowTitle().toStdString();
            text = box->text().toStdString();
            box->accept();
        }
    });
    poll.start(5);
    QEvent event(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&handler, &event));
    EXPECT_EQ(title, "Setup");
    EXPECT_EQ(text, "Cannot open file Setup.d01.");
    // The same handler still runs: the error ended only that call.
    text.clear();
    QCoreApplication::sendEvent(&handler, &event);
    EXPECT_EQ(handler.handled, 2);
    EXPECT_EQ(text, "Cannot open file Setup.d01.");
}

TEST(WinePrefixVariable, RelativeIsRefused) {
    EXPECT_NO_THROW(CheckWinePrefixVariable(nullptr));
    EXPECT_NO_THROW(CheckWinePrefixVariable(""));
    EXPECT_NO_THROW(CheckWinePrefixVariable("/home/user/.wine"));
    EXPECT_THROW(CheckWinePrefixVariable("wine/prefix"), std::runtime_error);
    EXPECT_THROW(CheckWinePrefixVariable("~/.wine"), std::runtime_error);
}

}  // namespace
