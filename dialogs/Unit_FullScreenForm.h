// The plain teal backdrop that covers the whole screen behind the wizard. It
// takes no input: the wizard stays in front of it and usable. The wizard is its
// child window, so that a Wayland compositor keeps it above the backdrop; there
// a click on the backdrop goes through it, as a click beside every window.
#pragma once

#include <QPointer>
#include <QWidget>

class TFullScreenForm : public QWidget {
    Q_OBJECT
  public:
    explicit TFullScreenForm(QWidget* parent = nullptr);

    void FormCreate();

    // Covers the screen (its size from the window services) and puts the
    // window in front of the backdrop, active, as its child window. Called as
    // that window is first shown (before the window system shows it), so that
    // it appears over the backdrop.
    void ShowBehind(QWidget* front);
    // The window in front of the backdrop, if any.
    QWidget* Front() const { return front_; }
    // Hides the backdrop (before a restart).
    void HideBackdrop();

  protected:
    bool event(QEvent* event) override;

  private:
    QPointer<QWidget> front_;
};

extern TFullScreenForm* FullScreenForm;
