// The plain teal backdrop that covers the whole screen behind the wizard. It
// takes no input: the wizard stays in front of it and usable.
#pragma once

#include <QPointer>
#include <QWidget>

class TFullScreenForm : public QWidget {
    Q_OBJECT
  public:
    explicit TFullScreenForm(QWidget* parent = nullptr);

    void FormCreate();

    // Covers the screen (its size from the window services) and puts the
    // window in front of the backdrop, active.
    void ShowBehind(QWidget* front);
    // Hides the backdrop (before a restart).
    void HideBackdrop();

  protected:
    bool event(QEvent* event) override;

  private:
    QPointer<QWidget> front_;
};

extern TFullScreenForm* FullScreenForm;
