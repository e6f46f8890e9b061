#include "tests/support/ModalAnswer.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

namespace {

constexpr int kPollMs = 5;

// Polled from a timer rather than waited for in a loop of our own: the modal
// window may come up in a loop nested inside the test's, and a loop of ours
// below it could not see it until it had gone.
void Poll(std::shared_ptr<ModalAnswer::State> state, std::string waitedFor,
          std::function<bool(QWidget*)> wanted, std::function<void(QWidget*)> answer,
          int timeoutMs) {
    auto* timer = new QTimer;
    auto polls = std::make_shared<int>(0);
    timer->setInterval(kPollMs);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        QWidget* modal = QApplication::activeModalWidget();
        const bool found = state->alive && modal != nullptr && modal->isVisible() && wanted(modal);
        const bool late = ++*polls * kPollMs > timeoutMs;
        if (!found && state->alive && !late) return;
        timer->stop();
        timer->deleteLater();
        if (!found) {
            if (state->alive)
                ADD_FAILURE() << "no " << waitedFor << " came up within " << timeoutMs << " ms"
                              << (modal ? " (the modal window is \"" +
                                              modal->windowTitle().toStdString() + "\")"
                                        : std::string());
            return;
        }
        state->title = modal->windowTitle().toStdString();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) state->text = box->text().toStdString();
        state->answered = true;
        answer(modal);
    });
    timer->start();
}

}  // namespace

ModalAnswer::ModalAnswer(std::string waitedFor, std::function<bool(QWidget*)> wanted,
                         std::function<void(QWidget*)> answer, int timeoutMs) {
    Poll(state_, std::move(waitedFor), std::move(wanted), std::move(answer), timeoutMs);
}

ModalAnswer::ModalAnswer(std::function<void(QWidget*)> answer, QWidget* except)
    : ModalAnswer(
          "modal window", [except](QWidget* modal) { return modal != except; }, std::move(answer)) {
}

ModalAnswer::ModalAnswer(const std::string& title, std::function<void(QWidget*)> answer)
    : ModalAnswer(
          "modal window \"" + title + "\"",
          [title](QWidget* modal) { return modal->windowTitle().toStdString() == title; },
          std::move(answer)) {}

ModalAnswer::~ModalAnswer() { state_->alive = false; }

void AnswerModal(const QString& title, std::function<void(QWidget*)> answer, int timeoutMs) {
    Poll(
        std::make_shared<ModalAnswer::State>(), "dialog \"" + title.toStdString() + "\"",
        [title](QWidget* modal) { return modal->windowTitle() == title; }, std::move(answer),
        timeoutMs);
}

void AcceptMessageBox(QWidget* box) {
    if (auto* message = qobject_cast<QMessageBox*>(box)) {
        message->accept();
        return;
    }
    ADD_FAILURE() << "not a message box: " << box->metaObject()->className();
    box->close();
}

void ClickButton(QWidget* dialog, const QString& text) {
    for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
        if (button->text() == text) {
            button->click();
            return;
        }
    }
    ADD_FAILURE() << "no button " << text.toStdString() << " in "
                  << dialog->windowTitle().toStdString();
}
