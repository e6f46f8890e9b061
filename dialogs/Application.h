// The application object: a QApplication whose event delivery shows an error
// that escapes an event handler, as the window framework does, and goes on.
#pragma once

#include <QApplication>

class TApplication : public QApplication {
  public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
};
