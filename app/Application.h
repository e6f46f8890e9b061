// The application object: a QApplication whose event delivery shows an error
// that escapes an event handler, as the window framework does, and goes on.
// Creating it installs the error display and the fatal error report into the
// wizard and the copying.
#pragma once

#include <QApplication>

class TApplication : public QApplication {
  public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
