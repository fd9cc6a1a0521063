// The result dialog: one row per file of the log, sorting by either column
// with the header arrow, and the log saved in the order shown.
#include "app/source_file_list_doc.hpp"
#include "convert/controller_base.hpp"
#include "convert/log.hpp"
#include "settings/app_settings.hpp"
#include "settings/file_status.hpp"
#include "settings/string_table.hpp"
#include "support/run_space.hpp"
#include "ui/result_dlg.hpp"
#include "ui/support/modal_answers.hpp"

#include <QCheckBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace varnolt::ui {
namespace {

struct Row {
    const char* name; // empty: a record without a file
    int level;
    int message;
};

// Record numbers 0..5; record 1 has no file and is never shown.
const Row kRows[] = {
    {"b.txt", kLevelOk, kMsgOk},
    {"", kLevelOk, kMsgOk},
    {"a.txt", kLevelError, kMsgDestExistsSkipped},
    {"d.txt", kLevelWarning, kMsgDestOverwritten},
    {"c.txt", kLevelError, kMsgInvalidCharacter},
    {"e.txt", kLevelWarning, kMsgSourceEmpty},
};

class ResultDlgTest : public ::testing::Test {
protected:
    ResultDlgTest()
        : m_settings(m_dir / "settings.reg"),
          m_run(&m_doc, 1252, 1, "_unicode_", 2, false, true, false) {
        for (const Row& row : kRows) {
            const std::string path = row.name[0] != '\0' ? m_dir / row.name : std::string();
            m_doc.AddFile(path);
            const std::int64_t index = m_log.AddRecord(path);
            m_log.SetStatus(index, row.level, row.message);
        }
    }

    QTreeWidget* List(CResultDlg& dlg) {
        return dlg.findChild<QTreeWidget*>(QStringLiteral("resultList"));
    }
    void ClickHeader(CResultDlg& dlg, int column) {
        if (!dlg.isVisible()) {
            // Sections have their real places only once laid out on screen.
            dlg.show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&dlg));
        }
        QHeaderView* header = List(dlg)->header();
        const QPoint at(header->sectionViewportPosition(column) + 10, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }
    std::vector<std::string> Names(const std::vector<std::int64_t>& order) {
        std::vector<std::string> names;
        for (std::int64_t i : order) {
            names.push_back(kRows[i].name);
        }
        return names;
    }
    std::vector<std::string> SavedNames(const std::string& path) {
        std::vector<std::string> names;
        for (const test::LogRecordText& record : test::ReadLogRecords(path)) {
            names.push_back(record.name.substr(m_dir.Path().size() + 1));
        }
        return names;
    }

    test::TempDir m_dir;
    CAppSettings m_settings;
    CSourceFileListDoc m_doc;
    CControllerBase m_run;
    CLog m_log;
};

TEST_F(ResultDlgTest, ListsEveryFileWithItsStatusSkippingRecordsWithoutPath) {
    CResultDlg dlg(m_log, m_run, m_settings);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Conversion Result - Varnolt"));
    QTreeWidget* list = List(dlg);
    EXPECT_EQ(list->headerItem()->text(0), QStringLiteral("File"));
    EXPECT_EQ(list->headerItem()->text(1), QStringLiteral("Error/Warning Message"));
    EXPECT_EQ(dlg.DisplayOrder(), (std::vector<std::int64_t>{0, 2, 3, 4, 5}));
    for (int r = 0; r < list->topLevelItemCount(); ++r) {
        const Row& row = kRows[dlg.DisplayOrder()[static_cast<std::size_t>(r)]];
        EXPECT_EQ(list->topLevelItem(r)->text(0).toStdString(), row.name);
        EXPECT_EQ(list->topLevelItem(r)->text(1).toStdString(), LoadString(row.message));
        EXPECT_EQ(list->topLevelItem(r)->icon(0).pixmap(16, 16).toImage(),
                  CResultDlg::StatusIcon(row.level).pixmap(16, 16).toImage());
    }
    // Three different icons, one per level.
    const QImage ok = CResultDlg::StatusIcon(kLevelOk).pixmap(16, 16).toImage();
    const QImage warning = CResultDlg::StatusIcon(kLevelWarning).pixmap(16, 16).toImage();
    const QImage error = CResultDlg::StatusIcon(kLevelError).pixmap(16, 16).toImage();
    EXPECT_NE(ok, warning);
    EXPECT_NE(warning, error);
    EXPECT_NE(ok, error);
    EXPECT_FALSE(list->header()->isSortIndicatorShown());
}

// "File" twice: ascending, then descending by path; then the message
// column sorts ascending by level and message id, arrow moved there.
TEST_F(ResultDlgTest, SortsByEitherColumnAndReversesOnASecondClick) {
    CResultDlg dlg(m_log, m_run, m_settings);
    QHeaderView* header = List(dlg)->header();
    struct Step {
        int column;
        std::vector<std::string> order;
        Qt::SortOrder arrow;
    };
    const Step steps[] = {
        {0, {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"}, Qt::AscendingOrder},
        {0, {"e.txt", "d.txt", "c.txt", "b.txt", "a.txt"}, Qt::DescendingOrder},
        // OK; warnings 5006, 5013; errors 5002, 5005.
        {1, {"b.txt", "d.txt", "e.txt", "c.txt", "a.txt"}, Qt::AscendingOrder},
        {1, {"a.txt", "c.txt", "e.txt", "d.txt", "b.txt"}, Qt::DescendingOrder},
        {0, {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"}, Qt::AscendingOrder},
    };
    for (const Step& step : steps) {
        ClickHeader(dlg, step.column);
        EXPECT_EQ(Names(dlg.DisplayOrder()), step.order) << "column " << step.column;
        EXPECT_TRUE(header->isSortIndicatorShown());
        EXPECT_EQ(header->sortIndicatorSection(), step.column);
        // The header draws an up arrow for DescendingOrder (QStyleOptionHeader::SortUp).
        EXPECT_EQ(header->sortIndicatorOrder() == Qt::DescendingOrder,
                  step.arrow == Qt::AscendingOrder)
            << "up arrow only for ascending";
        EXPECT_EQ(dlg.SortColumn(), step.column);
        EXPECT_EQ(dlg.SortDirection(), step.arrow == Qt::AscendingOrder ? 1 : -1);
    }
}

// Answers the log's save dialog: checks what it opened with, then picks
// `path` with the append box as given; confirms replacing an existing file.
void SaveAs(QObject* owner, const QString& path, bool append, QString* openedWith,
            bool* openedChecked) {
    test::AnswerModals(owner, [=](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            box->button(QMessageBox::Yes)->click();
            return false;
        }
        auto* dialog = qobject_cast<QFileDialog*>(w);
        if (dialog == nullptr) {
            return true;
        }
        auto* check = dialog->findChild<QCheckBox*>(QStringLiteral("appendCheck"));
        *openedWith = dialog->selectedFiles().value(0);
        *openedChecked = check->isChecked();
        check->setChecked(append);
        // The dialog leaves a focused name field as the user typed it.
        if (QWidget* focus = dialog->focusWidget()) {
            focus->clearFocus();
        }
        dialog->selectFile(path);
        // What the Save button does; queued, so that a question it asks
        // is answered by the next tick.
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        return true;
    });
}

// The saved log lists the records as the dialog shows them; the second save
// appends (no second byte-order mark) and the dialog remembers path and box.
TEST_F(ResultDlgTest, SavesInDisplayOrderAndAppends) {
    const QString path = QString::fromStdString(m_dir / "result.txt");
    CResultDlg dlg(m_log, m_run, m_settings);
    QString openedWith;
    bool openedChecked = true;
    ClickHeader(dlg, 0);
    ClickHeader(dlg, 0);
    {
        QObject answers; // ends its answers with this save
        SaveAs(&answers, path, false, &openedWith, &openedChecked);
        dlg.OnSave();
    }
    EXPECT_FALSE(openedChecked);
    EXPECT_EQ(SavedNames(path.toStdString()),
              (std::vector<std::string>{"e.txt", "d.txt", "c.txt", "b.txt", "a.txt"}));
    EXPECT_EQ(m_settings.LogPathname.Get(), path.toStdString());
    EXPECT_FALSE(m_settings.LogAppend.Get());

    ClickHeader(dlg, 1);
    {
        QObject answers;
        SaveAs(&answers, path, true, &openedWith, &openedChecked);
        dlg.OnSave();
    }
    EXPECT_EQ(openedWith, path);
    EXPECT_FALSE(openedChecked);
    EXPECT_EQ(SavedNames(path.toStdString()),
              (std::vector<std::string>{"e.txt", "d.txt", "c.txt", "b.txt", "a.txt", "b.txt",
                                        "d.txt", "e.txt", "c.txt", "a.txt"}));
    const std::string bytes = test::ReadFile(path.toStdString());
    EXPECT_EQ(bytes.rfind("\xFF\xFE", 0), 0u);
    EXPECT_EQ(bytes.find("\xFF\xFE", 2), std::string::npos);
    EXPECT_TRUE(m_settings.LogAppend.Get());

    // The next save dialog opens with the same path and the box on.
    QObject third;
    test::AnswerModals(&third, [&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        if (dialog == nullptr) {
            return true;
        }
        openedWith = dialog->selectedFiles().value(0);
        openedChecked = dialog->findChild<QCheckBox*>(QStringLiteral("appendCheck"))->isChecked();
        dialog->reject();
        return false;
    });
    dlg.OnSave();
    EXPECT_EQ(openedWith, path);
    EXPECT_TRUE(openedChecked);
}

// A log path that is one of the run's files is refused with message 3006:
// the log never goes into an original. The settings keep the choice.
TEST_F(ResultDlgTest, RefusesToWriteTheLogIntoAFileOfTheRun) {
    const std::string source = m_dir / "b.txt";
    test::WriteFile(source, "original text");
    CResultDlg dlg(m_log, m_run, m_settings);
    QObject owner;
    QString openedWith;
    bool openedChecked = false;
    SaveAs(&owner, QString::fromStdString(source), true, &openedWith, &openedChecked);
    QString message;
    QObject warningOwner;
    test::AnswerModals(&warningOwner, [&](QWidget* w) {
        if (w->objectName() != QStringLiteral("taskDialog")) {
            return true;
        }
        message = w->findChild<QLabel*>(QStringLiteral("taskContent"))->text();
        test::AnswerTask(w, 1);
        return false;
    });
    dlg.OnSave();
    EXPECT_EQ(message, QStringLiteral("Unable to create the log file!"));
    EXPECT_EQ(test::ReadFile(source), "original text");
    EXPECT_EQ(m_settings.LogPathname.Get(), source);
    EXPECT_TRUE(m_settings.LogAppend.Get());
}

} // namespace
} // namespace varnolt::ui
