// Answers a modal dialog from inside its event loop, for tests that call a
// blocking DoModal/exec.
#pragma once

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace varnolt::test {

// Runs `act` on the modal dialog once it is the active window (so focus and
// keys behave as they do for a user). When `act` leaves the dialog open (a
// key that must do nothing), the dialog's first button ends it so the test
// cannot hang, and `stillOpen` records that.
inline void WhenModalShown(std::function<void(QWidget*)> act, bool* stillOpen = nullptr) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act = std::move(act), stillOpen] {
        QWidget* dlg = QApplication::activeModalWidget();
        if (!dlg || QApplication::activeWindow() != dlg)
            return;
        poll->stop();
        poll->deleteLater();
        act(dlg);
        // Bound to the dialog: once it has ended, nothing remains to close.
        QTimer::singleShot(0, dlg, [dlg, stillOpen] {
            if (QApplication::activeModalWidget() != dlg)
                return;
            if (stillOpen)
                *stillOpen = true;
            const auto buttons = dlg->findChildren<QPushButton*>();
            ASSERT_FALSE(buttons.empty());
            buttons.front()->click();
        });
    });
    poll->start(5);
}

} // namespace varnolt::test
