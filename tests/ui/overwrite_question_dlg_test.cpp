// The overwrite question: asked from workers, shown one at a time on the UI
// thread with the program's texts; "Overwrite All" answers the rest of a run
// and the next run asks again.
#include "app/source_file_list_doc.hpp"
#include "convert/conv_controller.hpp"
#include "convert/log.hpp"
#include "settings/app_settings.hpp"
#include "settings/file_status.hpp"
#include "support/test_support.hpp"
#include "ui/conv_progress_dlg.hpp"
#include "ui/overwrite_question_dlg.hpp"
#include "ui/support/modal_answers.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <thread>

namespace varnolt::ui {
namespace {

int OpenQuestions() {
    int open = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QStringLiteral("taskDialog") && w->isVisible()) {
            ++open;
        }
    }
    return open;
}

// Two workers ask at once: only one dialog is ever open, its texts are the
// question's, and ticking "Overwrite All" answers the other worker unasked.
// After the run-wide answer is cleared (a new run), the question comes back.
TEST(OverwriteQuestionDlg, TwoWorkersSeeOneDialogAndOverwriteAllAnswersTheRest) {
    ClearOverwriteAll();
    COverwriteQuestionDlg question;
    int asked = 0;
    int mostOpen = 0;
    QString caption;
    QString content;
    QStringList buttons;
    bool dontOverwriteIsDefault = false;
    QString verification;
    QObject owner;
    test::AnswerModals(&owner, [&](QWidget* w) {
        ++asked;
        mostOpen = std::max(mostOpen, OpenQuestions());
        caption = w->windowTitle();
        if (auto* label = w->findChild<QLabel*>(QStringLiteral("taskContent"))) {
            content = label->text();
        }
        auto* overwrite = w->findChild<QPushButton*>(QStringLiteral("taskButton6000"));
        auto* keep = w->findChild<QPushButton*>(QStringLiteral("taskButton6001"));
        if (overwrite != nullptr && keep != nullptr) {
            buttons = {overwrite->text(), keep->text()};
            dontOverwriteIsDefault = keep->isDefault();
        }
        if (auto* check = w->findChild<QCheckBox*>(QStringLiteral("verificationCheck"))) {
            verification = check->text();
        }
        // Give the second worker time to ask while this dialog is open.
        QTest::qWait(50);
        mostOpen = std::max(mostOpen, OpenQuestions());
        test::AnswerTask(w, COverwriteQuestionDlg::kIdOverwrite, /*verify=*/true);
        return true;
    });
    std::atomic<int> ready{0};
    auto ask = [&ready, &question](const char* message) {
        ready.fetch_add(1);
        while (ready.load() < 2) {
        }
        return ConfirmOverwrite(&question, message);
    };
    auto first = std::async(std::launch::async, ask, "first");
    auto second = std::async(std::launch::async, ask, "second");
    while (first.wait_for(std::chrono::seconds(0)) != std::future_status::ready ||
           second.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        QTest::qWait(5);
    }
    EXPECT_TRUE(first.get());
    EXPECT_TRUE(second.get());
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(mostOpen, 1);
    EXPECT_EQ(caption, QStringLiteral("File Already Exists - Varnolt"));
    EXPECT_TRUE(content == QStringLiteral("first") || content == QStringLiteral("second"));
    EXPECT_EQ(buttons,
              QStringList({QStringLiteral("&Overwrite"), QStringLiteral("Don't Overwrite")}));
    EXPECT_TRUE(dontOverwriteIsDefault);
    EXPECT_EQ(verification, QStringLiteral("Overwrite All"));

    // The next run starts without the answer: the worker is asked again.
    ClearOverwriteAll();
    auto third = std::async(std::launch::async,
                            [&question] { return ConfirmOverwrite(&question, "third"); });
    while (third.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        QTest::qWait(5);
    }
    EXPECT_TRUE(third.get());
    EXPECT_EQ(asked, 2);
    ClearOverwriteAll();
}

// Two interactive runs over files whose destinations exist: "Overwrite All"
// on the first question overwrites every file of that run; the next run asks
// again, and "Don't Overwrite" (or closing the question) keeps each one.
TEST(OverwriteQuestionDlg, OverwriteAllLastsOneRun) {
    test::TempDir dir;
    CAppSettings settings(dir / "settings.reg");
    CSourceFileListDoc doc;
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        test::WriteFile(dir / name, std::string("text of ") + name);
        test::WriteFile(dir / (std::string("_unicode_") + name), "old");
        doc.AddFile(dir / name);
    }
    COverwriteQuestionDlg question;
    auto runOnce = [&](int answer, bool all, int& asked) {
        CLog::Instance().Reset();
        CConvController controller(nullptr, &doc, 1252, 1, "_unicode_", 2, false, false, false,
                                   settings, &question);
        CConvProgressDlg dlg(controller);
        test::AnswerModals(&dlg, [&](QWidget* w) {
            if (w->objectName() == QStringLiteral("taskDialog")) {
                ++asked;
                if (answer == 0) {
                    w->close(); // the close box means "no" too
                } else {
                    test::AnswerTask(w, answer, all);
                }
            }
            return true;
        });
        dlg.exec();
        std::vector<int> messages;
        for (std::int64_t i = 0; i < CLog::Instance().GetCount(); ++i) {
            messages.push_back(CLog::Instance().GetRecord(i).nMessageId);
        }
        return messages;
    };
    int askedFirst = 0;
    EXPECT_EQ(runOnce(COverwriteQuestionDlg::kIdOverwrite, true, askedFirst),
              std::vector<int>(3, kMsgDestOverwritten));
    EXPECT_EQ(askedFirst, 1);
    EXPECT_EQ(test::ReadFile(dir / "_unicode_c.txt"), "text of c.txt");

    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        test::WriteFile(dir / (std::string("_unicode_") + name), "kept");
    }
    int askedSecond = 0;
    EXPECT_EQ(runOnce(COverwriteQuestionDlg::kIdDontOverwrite, false, askedSecond),
              std::vector<int>(3, kMsgDestExistsSkipped));
    EXPECT_EQ(askedSecond, 3);
    int askedThird = 0;
    EXPECT_EQ(runOnce(0, false, askedThird), std::vector<int>(3, kMsgDestExistsSkipped));
    EXPECT_EQ(askedThird, 3);
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        EXPECT_EQ(test::ReadFile(dir / (std::string("_unicode_") + name)), "kept") << name;
    }
    CLog::Instance().Reset();
}

} // namespace
} // namespace varnolt::ui
