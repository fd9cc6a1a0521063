// Answers the modal windows a test provokes, one after another, from a timer
// on the UI thread: a modal exec() keeps processing events, so the timer
// runs while the code under test waits for the user.
#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace varnolt::test {

// `handle` sees each modal widget once, as it becomes the active modal one
// (also a window that becomes active again when one above it closed); it
// returns false when no more windows are to be answered. Ends with `owner`.
inline void AnswerModals(QObject* owner, std::function<bool(QWidget*)> handle) {
    auto* poll = new QTimer(owner);
    auto last = std::make_shared<QPointer<QWidget>>();
    QObject::connect(poll, &QTimer::timeout, poll, [poll, last, handle = std::move(handle)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == last->data() || !modal->isVisible()) {
            return;
        }
        *last = modal;
        if (!handle(modal)) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start(5);
}

// Clicks the task dialog's button with that id; ticks its verification box
// first when asked to.
inline void AnswerTask(QWidget* dialog, int buttonId, bool verify = false) {
    if (verify) {
        if (auto* check = dialog->findChild<QCheckBox*>(QStringLiteral("verificationCheck"))) {
            check->setChecked(true);
        }
    }
    auto* button = dialog->findChild<QPushButton*>(QStringLiteral("taskButton%1").arg(buttonId));
    if (button != nullptr) {
        button->click();
    }
}

} // namespace varnolt::test
