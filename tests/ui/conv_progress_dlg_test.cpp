// The progress dialog: a run through it converts exactly as the
// non-interactive run does, the bar counts files begun, the dialog closes
// only when the run has ended, and Abort stops further files without losing
// any.
#include "app/exit_codes.hpp"
#include "app/source_file_list_doc.hpp"
#include "convert/log.hpp"
#include "platform/text_utf.hpp"
#include "settings/app_settings.hpp"
#include "settings/file_status.hpp"
#include "settings/string_table.hpp"
#include "support/run_space.hpp"
#include "ui/conv_progress_dlg.hpp"
#include "ui/overwrite_question_dlg.hpp"
#include "ui/result_dlg.hpp"
#include "ui/support/held_controller.hpp"
#include "ui/support/modal_answers.hpp"

#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <set>

namespace varnolt::ui {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::string Settings(const TempDir& dir, bool singleThread) {
    const std::string path = dir / "settings.reg";
    WriteFile(path, std::string("Windows Registry Editor Version 5.00\n\n"
                                "[HKEY_CURRENT_USER\\Software\\Brambleware\\Varnolt 5]\n"
                                "\"DisableMP\"=dword:0000000") +
                        (singleThread ? "1\n" : "0\n"));
    return path;
}

// Temporary files of the run go to a folder the test can inspect.
class ScopedTmpDir {
public:
    explicit ScopedTmpDir(const std::string& path) {
        if (const char* old = std::getenv("TMPDIR")) {
            m_old = old;
            m_hadOld = true;
        }
        ::setenv("TMPDIR", path.c_str(), 1);
    }
    ~ScopedTmpDir() {
        if (m_hadOld) {
            ::setenv("TMPDIR", m_old.c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }

private:
    std::string m_old;
    bool m_hadOld = false;
};

struct BarState {
    int value = -1;
    int maximum = -1;
    bool visible = false;
};

// The bar reflects files begun at the next refresh: 10 files stand at 10 of
// 11 until the run ends, then 11 of 11. Enter and Escape do nothing: the run
// still decides when the dialog closes.
TEST(ConvProgressDlg, CountsFilesBegunAndClosesOnlyWhenTheRunEnds) {
    TempDir dir;
    CAppSettings settings(Settings(dir, true));
    CSourceFileListDoc doc;
    for (int i = 0; i < 10; ++i) {
        doc.AddFile(dir / ("f" + std::to_string(i) + ".txt"));
    }
    test::CHeldController controller(&doc, settings, 10);
    CConvProgressDlg dlg(controller);
    BarState beforeEnd;
    bool keysIgnored = false;
    test::AnswerModals(&dlg, [&](QWidget* w) {
        if (w != &dlg) {
            return true;
        }
        auto* bar = dlg.findChild<QProgressBar*>(QStringLiteral("progressBar"));
        // Keys first: the dialog must survive them while the run goes on.
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QTest::keyClick(&dlg, Qt::Key_Return);
        QTest::keyClick(&dlg, Qt::Key_Enter);
        dlg.close();
        keysIgnored = dlg.isVisible();
        // Two refresh periods: the ten queued calls and one timer tick.
        QTest::qWait(3 * CConvProgressDlg::kRefreshMs);
        beforeEnd = {bar->value(), bar->maximum(), dlg.isVisible()};
        controller.Release();
        return false;
    });
    EXPECT_EQ(dlg.exec(), QDialog::Accepted);
    EXPECT_TRUE(keysIgnored);
    EXPECT_TRUE(beforeEnd.visible);
    EXPECT_EQ(beforeEnd.value, 10);
    EXPECT_EQ(beforeEnd.maximum, 11);
    auto* bar = dlg.findChild<QProgressBar*>(QStringLiteral("progressBar"));
    EXPECT_EQ(bar->value(), 11);
    EXPECT_EQ(dlg.FilesBegun(), 10);
    EXPECT_FALSE(dlg.IsRunning());
}

// Abort greys itself, turns the bar to its error state and sets the cancel
// flag; the dialog stays until the run reports its end.
TEST(ConvProgressDlg, AbortGreysTheButtonAndWaitsForTheRun) {
    TempDir dir;
    CAppSettings settings(Settings(dir, true));
    CSourceFileListDoc doc;
    doc.AddFile(dir / "a.txt");
    doc.AddFile(dir / "b.txt");
    test::CHeldController controller(&doc, settings, 1);
    CConvProgressDlg dlg(controller);
    bool enabledAfter = true;
    bool errorState = false;
    bool cancelSet = false;
    bool openAfterAbort = false;
    test::AnswerModals(&dlg, [&](QWidget* w) {
        if (w != &dlg) {
            return true;
        }
        auto* abort = dlg.findChild<QPushButton*>(QStringLiteral("abortButton"));
        QTest::mouseClick(abort, Qt::LeftButton);
        enabledAfter = abort->isEnabled();
        errorState = dlg.findChild<QProgressBar*>(QStringLiteral("progressBar"))
                         ->property("errorState")
                         .toBool();
        cancelSet = CConvController::s_bCancelRequested.load();
        QTest::qWait(2 * CConvProgressDlg::kRefreshMs);
        openAfterAbort = dlg.isVisible();
        controller.Release();
        return false;
    });
    EXPECT_EQ(dlg.exec(), QDialog::Accepted);
    EXPECT_FALSE(enabledAfter);
    EXPECT_TRUE(errorState);
    EXPECT_TRUE(cancelSet);
    EXPECT_TRUE(openAfterAbort);
    EXPECT_EQ(dlg.findChild<QProgressBar*>(QStringLiteral("progressBar"))->value(), 3);
}

std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

std::u16string Latin(const std::string& bytes) {
    std::u16string text;
    for (unsigned char c : bytes) {
        text.push_back(c);
    }
    return text;
}

// The same files and options through the progress dialog and through
// `varnolt -u`: identical output bytes, and the result dialog lists every
// file with the status the log gave it.
TEST(ConvProgressDlg, WholeRunMatchesTheNonInteractiveRun) {
    struct Source {
        std::string name;
        std::string bytes;
        int level;
        int message;
    };
    const std::vector<Source> sources = {
        {"plain.txt", "\xE1\xE2\xE3 abc\r\n", kLevelOk, kMsgOk},
        {"long.txt", Repeat("Greek \xE1\xE2\xE3 text\r\n", 5000), kLevelOk, kMsgOk},
        {"empty.txt", "", kLevelWarning, kMsgSourceEmpty},
        // 0xAA is not a character of Windows-1253.
        {"bad.txt", "undefined \xAA byte", kLevelError, kMsgInvalidCharacter},
    };
    test::RunSpace peer;
    peer.WriteProfile(test::MakeOptions(1253, 1, "_unicode_", 2, true));
    TempDir dir;
    const std::string root = dir / "root";
    std::filesystem::create_directory(root);
    std::vector<std::string> names;
    for (const Source& s : sources) {
        WriteFile(root + "/" + s.name, s.bytes);
        WriteFile(peer / s.name, s.bytes);
        names.push_back(s.name);
    }
    const test::ProgramResult peerRun = peer.Run(names);
    ASSERT_EQ(peerRun.exitCode, kExitFileFailed) << peerRun.err;

    CAppSettings settings(Settings(dir, /*singleThread=*/false));
    CSourceFileListDoc doc;
    for (const Source& s : sources) {
        doc.AddFile(root + "/" + s.name);
    }
    CLog::Instance().Reset();
    COverwriteQuestionDlg question;
    CConvController controller(nullptr, &doc, 1253, 1, "_unicode_", 2, false, true, false, settings,
                               &question);
    CControllerBase::SetCurrent(&controller);
    {
        CConvProgressDlg dlg(controller);
        EXPECT_EQ(dlg.exec(), QDialog::Accepted); // closed by the run's end alone
        EXPECT_EQ(dlg.FilesBegun(), static_cast<int>(sources.size()));
    }

    auto ours = test::Snapshot(root);
    auto theirs = test::Snapshot(peer.Root());
    // Names first, then each file's bytes (without printing whole files).
    std::vector<std::string> ourNames;
    std::vector<std::string> theirNames;
    for (const auto& [name, bytes] : ours) {
        ourNames.push_back(name);
    }
    for (const auto& [name, bytes] : theirs) {
        theirNames.push_back(name);
    }
    ASSERT_EQ(ourNames, theirNames);
    for (const auto& [name, bytes] : ours) {
        EXPECT_TRUE(bytes == theirs.at(name)) << name << " differs from the -u run's output";
    }
    EXPECT_EQ(ours.at("_unicode_plain.txt"),
              test::EncodeUnicode(u"\u03B1\u03B2\u03B3 abc\r\n", 2, true));

    CResultDlg result(CLog::Instance(), controller, settings);
    auto* list = result.findChild<QTreeWidget*>(QStringLiteral("resultList"));
    ASSERT_EQ(list->topLevelItemCount(), static_cast<int>(sources.size()));
    std::map<std::string, std::pair<std::string, std::int64_t>> rows;
    for (int r = 0; r < list->topLevelItemCount(); ++r) {
        const QTreeWidgetItem* item = list->topLevelItem(r);
        rows[item->text(0).toStdString()] = {item->text(1).toStdString(),
                                             item->data(0, Qt::UserRole).toLongLong()};
    }
    for (const Source& s : sources) {
        ASSERT_EQ(rows.count(s.name), 1u) << s.name;
        EXPECT_EQ(rows[s.name].first, LoadString(s.message)) << s.name;
        EXPECT_EQ(CLog::Instance().GetRecord(rows[s.name].second).nLevel, s.level) << s.name;
    }
    CControllerBase::SetCurrent(nullptr);
    CLog::Instance().Reset();
}

// Abort while the run waits on a question: files not yet begun are never
// begun, each begun file ends with its own record, no original or existing
// destination is lost and no temporary file is left.
TEST(ConvProgressDlg, AbortMidRunBeginsNoFurtherFileAndLosesNothing) {
    constexpr int kFiles = 40;
    TempDir dir;
    const std::string root = dir / "root";
    const std::string tmp = dir / "tmp";
    std::filesystem::create_directory(root);
    std::filesystem::create_directory(tmp);
    ScopedTmpDir scopedTmp(tmp);
    CSourceFileListDoc doc;
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        WriteFile(root + "/" + name, test::LatinText(4000, static_cast<unsigned>(i)));
        // Every destination exists: each file stops at the question.
        WriteFile(root + "/_unicode_" + name, "old " + name);
        doc.AddFile(root + "/" + name);
    }
    const auto before = test::Snapshot(root);
    CAppSettings settings(Settings(dir, /*singleThread=*/false));
    CLog::Instance().Reset();
    COverwriteQuestionDlg question;
    CConvController controller(nullptr, &doc, 1252, 1, "_unicode_", 2, false, true, false, settings,
                               &question);
    CControllerBase::SetCurrent(&controller);
    int questions = 0;
    int begunAtAbort = -1;
    {
        CConvProgressDlg dlg(controller);
        test::AnswerModals(&dlg, [&](QWidget* w) {
            if (w->objectName() != QStringLiteral("taskDialog")) {
                return true;
            }
            if (questions++ == 0) {
                // The user aborts while the first question is open.
                auto* abort = dlg.findChild<QPushButton*>(QStringLiteral("abortButton"));
                abort->click();
                begunAtAbort = dlg.FilesBegun();
            }
            test::AnswerTask(w, COverwriteQuestionDlg::kIdOverwrite);
            return true;
        });
        EXPECT_EQ(dlg.exec(), QDialog::Accepted);
        // Every begin message arrived before the end: none came after abort
        // beyond the workers already on their way to a file.
        EXPECT_EQ(dlg.FilesBegun(), CLog::Instance().GetCount());
    }
    const std::int64_t begun = CLog::Instance().GetCount();
    ASSERT_GT(begunAtAbort, 0);
    EXPECT_LT(begun, kFiles);
    EXPECT_EQ(questions, begun);

    const auto after = test::Snapshot(root);
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        EXPECT_EQ(after.at(name), before.at(name)) << name;
    }
    std::set<std::string> converted;
    for (std::int64_t r = 0; r < begun; ++r) {
        const CLogRecord record = CLog::Instance().GetRecord(r);
        EXPECT_EQ(record.nMessageId, kMsgDestOverwritten) << record.strFileName;
        converted.insert(std::filesystem::path(record.strFileName).filename().string());
    }
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        const std::string dest = "_unicode_" + name;
        if (converted.count(name) != 0) {
            EXPECT_EQ(after.at(dest), test::EncodeUnicode(Latin(before.at(name)), 2, true)) << dest;
        } else {
            EXPECT_EQ(after.at(dest), before.at(dest)) << dest;
        }
    }
    EXPECT_EQ(test::CountEntries(tmp), 0u);
    CControllerBase::SetCurrent(nullptr);
    CLog::Instance().Reset();
}

// The dialog destroyed while a worker waits on the overwrite question (the
// program quitting): the question is still answered, the run ends without
// beginning further files, and the destruction does not hang.
TEST(ConvProgressDlg, DestroyedMidRunLetsTheQuestionBeAnsweredAndEnds) {
    constexpr int kFiles = 20;
    TempDir dir;
    CSourceFileListDoc doc;
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        WriteFile(dir / name, "text " + name);
        WriteFile(dir / ("_unicode_" + name), "old");
        doc.AddFile(dir / name);
    }
    CAppSettings settings(Settings(dir, /*singleThread=*/false));
    CLog::Instance().Reset();
    COverwriteQuestionDlg question;
    CConvController controller(nullptr, &doc, 1252, 1, "_unicode_", 2, false, false, false,
                               settings, &question);
    auto* dlg = new CConvProgressDlg(controller);
    QObject answers;
    int asked = 0;
    test::AnswerModals(&answers, [&](QWidget* w) {
        if (w->objectName() == QStringLiteral("taskDialog")) {
            ++asked;
            test::AnswerTask(w, COverwriteQuestionDlg::kIdDontOverwrite);
        }
        return true;
    });
    dlg->show();
    // Destroyed from the top of the event loop once a question was asked;
    // workers still in flight ask theirs while the destructor waits.
    for (int waited = 0; dlg != nullptr && waited < 20000; waited += 10) {
        QTest::qWait(10);
        if (asked > 0) {
            delete dlg;
            dlg = nullptr;
        }
    }
    ASSERT_EQ(dlg, nullptr);
    EXPECT_GE(asked, 1);
    EXPECT_LT(CLog::Instance().GetCount(), kFiles);
    for (std::int64_t r = 0; r < CLog::Instance().GetCount(); ++r) {
        EXPECT_EQ(CLog::Instance().GetRecord(r).nMessageId, kMsgDestExistsSkipped);
    }
    EXPECT_EQ(ReadFile(dir / "_unicode_f0.txt"), "old");
    EXPECT_EQ(controller.m_hProgressWnd, nullptr);
    CLog::Instance().Reset();
}

} // namespace
} // namespace varnolt::ui
