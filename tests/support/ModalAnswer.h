// Modal windows answered from a timer, for the tests of windows. A modal window
// runs a loop of its own, so the test cannot answer it in line: the answer is
// armed before the action that brings the window up.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

// Answers the first modal window that `wanted` accepts with `answer`, which
// receives it. Returns at once; the answer runs from the modal window's own loop.
// When no such window comes within timeoutMs while the ModalAnswer lives, the
// test fails, naming the window it waited for.
class ModalAnswer {
  public:
    ModalAnswer(std::string waitedFor, std::function<bool(QWidget*)> wanted,
                std::function<void(QWidget*)> answer, int timeoutMs = 10000);
    // Any modal window but `except`.
    explicit ModalAnswer(std::function<void(QWidget*)> answer, QWidget* except = nullptr);
    // The modal window of that title.
    ModalAnswer(const std::string& title, std::function<void(QWidget*)> answer);
    ~ModalAnswer();
    ModalAnswer(const ModalAnswer&) = delete;
    ModalAnswer& operator=(const ModalAnswer&) = delete;

    bool Answered() const { return state_->answered; }
    // The modal window's title and text (for message boxes) as it was answered.
    const std::string& Title() const { return state_->title; }
    const std::string& Text() const { return state_->text; }

    struct State {
        bool alive = true;
        bool answered = false;
        std::string title, text;
    };

  private:
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

// The same for a window that the rest of the test need not look at again: it
// answers once, or fails the test when no window of that title came.
void AnswerModal(const QString& title, std::function<void(QWidget*)> answer, int timeoutMs = 10000);

// A message box is answered with its default button.
void AcceptMessageBox(QWidget* box);
// Clicks the button with the given text in a modal dialog.
void ClickButton(QWidget* dialog, const QString& text);
