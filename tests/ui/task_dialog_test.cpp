// The task dialog: every question's answer comes from the button, key or
// close box the user chose, and a question without a cancel button cannot be
// dismissed.
#include "ui/support/modal_answer.hpp"
#include "ui/task_dialog.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

using varnolt::test::WhenModalShown;
using varnolt::ui::CTaskDialog;
using varnolt::ui::TaskDialogIcon;

namespace {

void ContinueCancel(CTaskDialog& dlg) {
    dlg.SetIcon(TaskDialogIcon::Question);
    dlg.SetMainInstruction(QStringLiteral("Settings are not valid"));
    dlg.SetContent(QStringLiteral("Do you want to continue?"));
    dlg.AddButton(6, QStringLiteral("Continue"));
    dlg.AddButton(7, QStringLiteral("Cancel"), /*isDefault=*/true, /*isCancel=*/true);
}

} // namespace

TEST(TaskDialog, ShowsCaptionTextsAndButtonsInOrderWithEqualWidths) {
    CTaskDialog dlg;
    ContinueCancel(dlg);
    QString title;
    QStringList texts;
    std::vector<int> widths;
    WhenModalShown([&](QWidget* w) {
        EXPECT_EQ(w->objectName(), QStringLiteral("taskDialog"));
        title = w->windowTitle();
        for (const char* name : {"taskMainInstruction", "taskContent"}) {
            auto* label = w->findChild<QLabel*>(QString::fromLatin1(name));
            ASSERT_NE(label, nullptr) << name;
            texts << label->text();
        }
        // The instruction stands out above the content.
        const QFont main = w->findChild<QLabel*>(QStringLiteral("taskMainInstruction"))->font();
        const QFont content = w->findChild<QLabel*>(QStringLiteral("taskContent"))->font();
        EXPECT_TRUE(main.bold());
        EXPECT_GT(QFontInfo(main).pixelSize(), QFontInfo(content).pixelSize());
        auto* cont = w->findChild<QPushButton*>(QStringLiteral("taskButton6"));
        auto* cancel = w->findChild<QPushButton*>(QStringLiteral("taskButton7"));
        ASSERT_TRUE(cont && cancel);
        EXPECT_LT(cont->x(), cancel->x());
        widths = {cont->width(), cancel->width()};
        EXPECT_TRUE(cancel->isDefault());
        EXPECT_TRUE(cancel->hasFocus());
        EXPECT_TRUE(w->windowFlags() & Qt::WindowCloseButtonHint);
        QTest::mouseClick(cont, Qt::LeftButton);
    });
    EXPECT_EQ(dlg.DoModal(), 6);
    EXPECT_EQ(title, QStringLiteral("Varnolt"));
    EXPECT_EQ(texts, (QStringList{QStringLiteral("Settings are not valid"),
                                  QStringLiteral("Do you want to continue?")}));
    ASSERT_EQ(widths.size(), 2u);
    EXPECT_EQ(widths[0], widths[1]);
}

TEST(TaskDialog, EscapeEnterAndCloseBoxChooseCancelOrDefault) {
    struct Case {
        const char* name;
        std::function<void(QWidget*)> act;
        int expected;
    };
    const Case cases[] = {
        {"Escape", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }, 7},
        {"close box", [](QWidget* w) { w->close(); }, 7},
        {"Enter on the default",
         [](QWidget*) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); }, 7},
        {"Enter on another button",
         [](QWidget* w) {
             auto* cont = w->findChild<QPushButton*>(QStringLiteral("taskButton6"));
             cont->setFocus();
             QTest::keyClick(cont, Qt::Key_Return);
         },
         6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTaskDialog dlg;
        ContinueCancel(dlg);
        WhenModalShown(c.act);
        EXPECT_EQ(dlg.DoModal(), c.expected);
    }
}

TEST(TaskDialog, WithoutCancelButtonEscapeAndCloseDoNothing) {
    for (bool escape : {true, false}) {
        SCOPED_TRACE(escape ? "Escape" : "close box");
        CTaskDialog dlg;
        dlg.AddButton(1, QStringLiteral("OK"), /*isDefault=*/true);
        bool stillOpen = false;
        bool closeBox = true;
        WhenModalShown(
            [&](QWidget* w) {
                closeBox = bool(w->windowFlags() & Qt::WindowCloseButtonHint);
                if (escape)
                    QTest::keyClick(w, Qt::Key_Escape);
                else
                    w->close();
            },
            &stillOpen);
        // The helper presses the only button after the key did nothing.
        EXPECT_EQ(dlg.DoModal(), 1);
        EXPECT_TRUE(stillOpen);
        EXPECT_FALSE(closeBox);
    }
}

TEST(TaskDialog, VerificationCheckBoxReportsItsState) {
    CTaskDialog dlg;
    dlg.AddButton(1, QStringLiteral("OK"), true);
    dlg.SetVerification(QStringLiteral("Don't show again"));
    WhenModalShown([](QWidget* w) {
        auto* check = w->findChild<QCheckBox*>(QStringLiteral("verificationCheck"));
        ASSERT_NE(check, nullptr);
        EXPECT_EQ(check->text(), QStringLiteral("Don't show again"));
        EXPECT_FALSE(check->isChecked());
        QTest::mouseClick(check, Qt::LeftButton);
        QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("taskButton1")),
                          Qt::LeftButton);
    });
    EXPECT_EQ(dlg.DoModal(), 1);
    EXPECT_TRUE(dlg.IsVerificationChecked());

    CTaskDialog plain;
    plain.AddButton(1, QStringLiteral("OK"), true);
    WhenModalShown([](QWidget* w) {
        EXPECT_EQ(w->findChild<QCheckBox*>(QStringLiteral("verificationCheck")), nullptr);
        w->findChild<QPushButton*>(QStringLiteral("taskButton1"))->click();
    });
    EXPECT_EQ(plain.DoModal(), 1);
    EXPECT_FALSE(plain.IsVerificationChecked());
}

// The overwrite question is asked from a worker: the dialog appears on the UI
// thread and the worker receives the user's answer and the box's state.
TEST(TaskDialog, AskedFromAWorkerThreadShowsOnTheUiThread) {
    // Shared with the worker, which may outlive a failed wait.
    struct Outcome {
        std::atomic<int> answer{0};
        std::atomic<bool> ticked{false};
        std::atomic<bool> done{false};
    };
    auto outcome = std::make_shared<Outcome>();
    bool shownOnUiThread = false;
    WhenModalShown([&](QWidget* w) {
        shownOnUiThread = w->thread() == QApplication::instance()->thread();
        QTest::mouseClick(w->findChild<QCheckBox*>(QStringLiteral("verificationCheck")),
                          Qt::LeftButton);
        w->findChild<QPushButton*>(QStringLiteral("taskButton6000"))->click();
    });
    std::thread worker([outcome] {
        CTaskDialog dlg;
        dlg.SetCaption(QStringLiteral("File Already Exists - Varnolt"));
        dlg.SetContent(QStringLiteral("The file 'a.txt' already exists in folder '/tmp/'."));
        dlg.AddButton(6000, QStringLiteral("&Overwrite"));
        dlg.AddButton(6001, QStringLiteral("Don't Overwrite"), /*isDefault=*/true);
        dlg.SetVerification(QStringLiteral("Overwrite All"));
        outcome->answer = dlg.DoModal();
        outcome->ticked = dlg.IsVerificationChecked();
        outcome->done = true;
    });
    if (!QTest::qWaitFor([&] { return outcome->done.load(); }, 10000)) {
        worker.detach();
        FAIL() << "the worker never got an answer";
    }
    worker.join();
    EXPECT_TRUE(shownOnUiThread);
    EXPECT_EQ(outcome->answer.load(), 6000);
    EXPECT_TRUE(outcome->ticked.load());
}
