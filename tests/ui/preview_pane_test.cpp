// The main window's preview pane and Detect button: the pane follows the
// selected row and the source encoding, marks what does not decode, reads
// only the head of a long file, never waits for a read, and the button
// offers the detected encodings for the drop-down.
#include "app/source_file_list_doc.hpp"
#include "settings/app_settings.hpp"
#include "settings/encoding_catalogue.hpp"
#include "support/test_support.hpp"
#include "ui/varnolt_dlg.hpp"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <mutex>

namespace varnolt::ui {
namespace {

namespace test = varnolt::test;

// 日本語 and a line end in Shift-JIS.
const std::string kShiftJis = "\x93\xFA\x96\x7B\x8C\xEA\r\n";

struct Window {
    test::TempDir dir;
    CAppSettings settings{dir / "settings.reg"};
    CSourceFileListDoc files;
    std::unique_ptr<CVarnoltDlg> dlg;

    // The files (name, bytes) are listed in this order.
    explicit Window(const std::vector<std::pair<std::string, std::string>>& contents) {
        for (const auto& [name, bytes] : contents) {
            test::WriteFile(dir / name, bytes);
            files.AddFile(dir / name);
        }
        dlg = std::make_unique<CVarnoltDlg>(settings, files, std::string());
        dlg->show();
    }
    template <class T> T* Child(const char* name) {
        T* child = dlg->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    QTreeWidget* List() { return dlg->findChild<QTreeWidget*>(); }
    QPlainTextEdit* Pane() { return Child<QPlainTextEdit>("previewEdit"); }
    QString Note() { return Child<QLabel>("previewNoteLabel")->text(); }
    void Select(int row) { List()->setCurrentItem(List()->topLevelItem(row)); }
    void SetCodePage(std::int32_t codePage) {
        Child<QComboBox>("sourceEncodingCombo")
            ->setCurrentIndex(EncodingCatalogue::IndexOf(codePage));
    }
    // Waits until the note starts so (the read runs on a worker thread).
    bool WaitForNote(const QString& start) {
        return QTest::qWaitFor([&] { return Note().startsWith(start); }, 5000);
    }
};

TEST(PreviewPane, FollowsTheSelectedFileAndTheEncoding) {
    Window w({{"plain.txt", "hello\r\nworld"}, {"japanese.txt", kShiftJis + "ok"}});
    EXPECT_EQ(w.Note(), QStringLiteral("Select a file in the list to preview it."));

    w.SetCodePage(932);
    w.Select(1);
    ASSERT_TRUE(w.WaitForNote(QStringLiteral("Preview of japanese.txt")));
    EXPECT_EQ(w.Pane()->toPlainText(), QString::fromUtf8("日本語\nok"));
    EXPECT_TRUE(w.Pane()->extraSelections().isEmpty());

    // The same bytes as Windows-1252 read as Latin letters, each a character.
    w.SetCodePage(1252);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w.Pane()->toPlainText() == QString::fromUtf8("“ú–{Œê\nok"); }, 5000))
        << w.Pane()->toPlainText().toStdString();

    w.Select(0);
    ASSERT_TRUE(w.WaitForNote(QStringLiteral("Preview of plain.txt")));
    EXPECT_EQ(w.Pane()->toPlainText(), QStringLiteral("hello\nworld"));

    // Nothing selected: the pane empties.
    w.List()->clearSelection();
    ASSERT_TRUE(w.WaitForNote(QStringLiteral("Select a file")));
    EXPECT_TRUE(w.Pane()->toPlainText().isEmpty());
}

TEST(PreviewPane, MarksInvalidSequences) {
    // Shift-JIS read as UTF-8: 0x93 cannot start a UTF-8 sequence.
    Window w({{"japanese.txt", "ab" + kShiftJis}, {"gone.txt", "x"}});
    w.SetCodePage(65001);
    w.Select(0);
    ASSERT_TRUE(w.WaitForNote(QStringLiteral("Preview of japanese.txt")));
    EXPECT_TRUE(w.Note().endsWith(QStringLiteral(": invalid byte sequence at offset 2 and 4 more")))
        << w.Note().toStdString();
    const auto marks = w.Pane()->extraSelections();
    ASSERT_EQ(marks.size(), 5);
    const QString text = w.Pane()->toPlainText();
    for (const auto& mark : marks) {
        EXPECT_EQ(mark.cursor.selectedText(), QString(QChar(0xFFFD)));
        EXPECT_NE(mark.format.background(), QBrush());
    }
    EXPECT_EQ(marks[0].cursor.selectionStart(), 2);
    EXPECT_EQ(marks[0].format.toolTip(), QStringLiteral("invalid byte sequence at offset 2"));
    // The ASCII between and after the bad bytes still shows.
    EXPECT_TRUE(text.startsWith(QStringLiteral("ab"))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("\n"))) << text.toStdString();

    // A file that cannot be read says why instead.
    ASSERT_EQ(std::remove((w.dir / "gone.txt").c_str()), 0);
    w.Select(1);
    ASSERT_TRUE(w.WaitForNote(QStringLiteral("Cannot preview gone.txt: ")));
    EXPECT_TRUE(w.Pane()->toPlainText().isEmpty());
}

TEST(PreviewPane, ShowsOnlyTheHeadOfALargeFile) {
    Window w({{"large.txt", std::string(3 * kPreviewBytes, 'x')}});
    w.SetCodePage(1252);
    w.Select(0);
    ASSERT_TRUE(w.WaitForNote(QStringLiteral("Preview of large.txt")));
    EXPECT_EQ(w.Note(), QStringLiteral("Preview of large.txt (first 64 KiB)"));
    EXPECT_EQ(w.Pane()->toPlainText().size(), static_cast<qsizetype>(kPreviewBytes));
}

TEST(PreviewPane, NeverWaitsForAReadAndDropsStaleAnswers) {
    Window w({{"slow.txt", "slow"}, {"fast.txt", "fast"}});
    std::mutex mutex;
    std::condition_variable cv;
    bool release = false;
    int slowDone = 0;
    w.dlg->SetPreviewReader([&](const std::string& path, std::int32_t codePage) {
        if (!path.ends_with("slow.txt")) {
            return ReadFilePreview(path, codePage);
        }
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return release; });
        ++slowDone;
        return ReadFilePreview(path, codePage);
    });
    w.Select(0);      // its read hangs
    QTest::qWait(50); // the read has begun
    w.Select(1);
    ASSERT_TRUE(w.WaitForNote(QStringLiteral("Preview of fast.txt")));
    EXPECT_EQ(w.Pane()->toPlainText(), QStringLiteral("fast"));
    {
        const std::lock_guard lock(mutex);
        release = true;
    }
    cv.notify_all();
    // The late answer for the earlier selection must not replace it.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const std::lock_guard lock(mutex);
            return slowDone == 1;
        },
        5000));
    QTest::qWait(100); // its answer is delivered, and dropped
    EXPECT_EQ(w.Pane()->toPlainText(), QStringLiteral("fast"));
    EXPECT_EQ(w.Note(), QStringLiteral("Preview of fast.txt"));
}

// Runs "Detect" and lets `act` answer the modal window it opens (the
// detection answers on a worker thread, so the window comes later).
void Detect(Window& w, const std::function<void(QWidget*)>& act) {
    bool shown = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* dlg = QApplication::activeModalWidget();
        if (dlg == nullptr || !dlg->isVisible()) {
            return;
        }
        poll.stop();
        shown = true;
        act(dlg);
        if (QApplication::activeModalWidget() == dlg) {
            dlg->close(); // act left it open: end it so the test cannot hang
            ADD_FAILURE() << "the window stayed open";
        }
    });
    poll.start(5);
    w.Child<QPushButton>("detectButton")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown; }, 5000));
}

TEST(DetectButton, OffersTheRankedEncodingsAndSetsTheChosenOne) {
    Window w({{"a.txt", kShiftJis}, {"b.txt", kShiftJis}, {"gone.txt", ""}});
    std::vector<std::string> asked;
    w.dlg->SetDetector([&](const std::string& path) {
        asked.push_back(path);
        if (path.ends_with("gone.txt")) {
            return FileDetection{{}, std::string("cannot read")};
        }
        return FileDetection{{{932, 0.9}, {20932, 0.3}}, std::nullopt};
    });
    auto* detect = w.Child<QPushButton>("detectButton");
    EXPECT_FALSE(detect->isEnabled()) << "nothing selected";
    w.SetCodePage(1252);
    w.List()->selectAll();
    EXPECT_TRUE(detect->isEnabled());

    // The best is offered first and chosen by default.
    Detect(w, [](QWidget* dlg) {
        auto* list = dlg->findChild<QTreeWidget*>(QStringLiteral("detectList"));
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(list->topLevelItemCount(), 2);
        EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral("932"));
        EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral("Japanese (Shift-JIS)"));
        EXPECT_EQ(list->topLevelItem(0)->text(2), QStringLiteral("90%"));
        EXPECT_EQ(list->topLevelItem(1)->text(0), QStringLiteral("20932"));
        EXPECT_EQ(list->currentItem(), list->topLevelItem(0));
        EXPECT_NE(dlg->findChild<QLabel*>(QStringLiteral("detectUnreadLabel")), nullptr);
        dlg->findChild<QPushButton*>(QStringLiteral("selectEncodingButton"))->click();
    });
    EXPECT_EQ(asked.size(), 3u);
    EXPECT_EQ(w.dlg->CurrentOptions().nCodePage, 932);
    // The preview follows the new encoding.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w.Pane()->toPlainText().startsWith(QString::fromUtf8("日本語")); }, 5000));

    // Another row, then Cancel, which keeps what is set.
    Detect(w, [](QWidget* dlg) {
        auto* list = dlg->findChild<QTreeWidget*>(QStringLiteral("detectList"));
        list->setCurrentItem(list->topLevelItem(1));
        dlg->findChild<QPushButton*>(QStringLiteral("selectEncodingButton"))->click();
    });
    EXPECT_EQ(w.dlg->CurrentOptions().nCodePage, 20932);
    Detect(w, [](QWidget* dlg) {
        dlg->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
    });
    EXPECT_EQ(w.dlg->CurrentOptions().nCodePage, 20932);
}

TEST(DetectButton, FindsTheEncodingOfAShiftJisSample) {
    std::string bytes;
    {
        std::ifstream in(std::string(VARNOLT_SOURCE_DIR) + "/samples/ja_notice_shift_jis.txt",
                         std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    ASSERT_FALSE(bytes.empty());
    Window w({{"notice.txt", bytes}, {"other.txt", "x"}});
    w.SetCodePage(1252);
    w.Select(0);
    Detect(w, [](QWidget* dlg) {
        auto* list = dlg->findChild<QTreeWidget*>(QStringLiteral("detectList"));
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral("932"));
        dlg->findChild<QPushButton*>(QStringLiteral("selectEncodingButton"))->click();
    });
    EXPECT_EQ(w.dlg->CurrentOptions().nCodePage, 932);
}

TEST(DetectButton, SaysSoWhenNothingDecodesTheFiles) {
    Window w({{"a.txt", "x"}, {"b.txt", "y"}});
    w.dlg->SetDetector([](const std::string&) { return FileDetection{}; });
    w.SetCodePage(1252);
    w.Select(0);
    QString instruction;
    Detect(w, [&](QWidget* dlg) {
        EXPECT_EQ(dlg->objectName(), QStringLiteral("taskDialog"));
        if (auto* label = dlg->findChild<QLabel*>(QStringLiteral("taskMainInstruction"))) {
            instruction = label->text();
        }
        dlg->findChild<QPushButton*>(QStringLiteral("taskButton1"))->click();
    });
    EXPECT_EQ(instruction, QStringLiteral("No encoding was found for the selected file."));
    EXPECT_EQ(w.dlg->CurrentOptions().nCodePage, 1252);
    EXPECT_TRUE(w.Child<QPushButton>("detectButton")->isEnabled());
}

} // namespace
} // namespace varnolt::ui
