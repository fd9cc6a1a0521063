// Not a check: with VARNOLT_SCREENSHOT_DIR set, renders every window of the
// interactive program in its main states to PNG files for people to look at
// (scripts/screenshots.sh builds and runs it). Without it, it skips.
#include "app/source_file_list_doc.hpp"
#include "convert/controller_base.hpp"
#include "convert/conv_controller.hpp"
#include "convert/log.hpp"
#include "settings/app_settings.hpp"
#include "settings/encoding_catalogue.hpp"
#include "settings/file_status.hpp"
#include "settings/string_table.hpp"
#include "support/test_support.hpp"
#include "ui/adv_pref_sheet.hpp"
#include "ui/codec_dlg.hpp"
#include "ui/conv_progress_dlg.hpp"
#include "ui/find_file_dlg.hpp"
#include "ui/help_viewer.hpp"
#include "ui/html_codec_option_dlg.hpp"
#include "ui/overwrite_question_dlg.hpp"
#include "ui/result_dlg.hpp"
#include "ui/startup_warning.hpp"
#include "ui/support/held_controller.hpp"
#include "ui/support/modal_answers.hpp"
#include "ui/support/version_server.hpp"
#include "ui/update_check.hpp"
#include "ui/varnolt_dlg.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>

namespace varnolt::ui {
namespace {

class ScreenshotsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* out = std::getenv("VARNOLT_SCREENSHOT_DIR");
        if (out == nullptr || *out == '\0') {
            GTEST_SKIP() << "set VARNOLT_SCREENSHOT_DIR to render the windows to PNG files";
        }
        m_folder = QString::fromLocal8Bit(out);
    }

    void Save(QWidget* w, const QString& name) {
        QApplication::processEvents();
        EXPECT_TRUE(w->grab().save(m_folder + QStringLiteral("/") + name + QStringLiteral(".png")))
            << name.toStdString();
    }

    // Runs `open`, which shows a modal window (other than `except`); the
    // window is saved as `name` once shown, then `dismiss` closes it.
    void SaveModal(const QString& name, const std::function<void()>& open,
                   const std::function<void(QWidget*)>& dismiss, QWidget* except = nullptr) {
        bool saved = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* w = QApplication::activeModalWidget();
            if (w == nullptr || w == except || !w->isVisible()) {
                return;
            }
            poll.stop();
            Save(w, name);
            saved = true;
            dismiss(w);
        });
        poll.start(5);
        open();
        poll.stop();
        EXPECT_TRUE(saved) << name.toStdString();
    }

    test::TempDir m_dir;
    CAppSettings m_settings{m_dir / "settings.reg"};
    QString m_folder;
};

TEST_F(ScreenshotsTest, MainWindowAndValidationMessages) {
    CSourceFileListDoc files;
    {
        CVarnoltDlg empty(m_settings, files, {});
        empty.show();
        Save(&empty, QStringLiteral("main_empty"));
        SaveModal(
            QStringLiteral("about"), [&] { empty.OnAbout(); }, [](QWidget* w) { w->close(); },
            &empty);
    }
    for (int i = 0; i < 12; ++i) {
        files.AddFile("/home/user/archive/chapter " + std::to_string(i) + ".html");
    }
    CVarnoltDlg dlg(m_settings, files, {});
    dlg.show();
    Save(&dlg, QStringLiteral("main_filled"));
    const struct {
        const char* radio;
        const char* edit;
        const char* text;
        const char* name;
    } cases[] = {
        {"backupRadio", "backupPrefixEdit", "a:b", "message_3003"},
        {"prefixRadio", "destPrefixEdit", "a/b", "message_3004"},
        {"folderRadio", "outputFolderEdit", "/no/such/folder", "message_3005"},
    };
    for (const auto& c : cases) {
        auto* edit = dlg.findChild<QLineEdit*>(QString::fromLatin1(c.edit));
        auto* radio = dlg.findChild<QRadioButton*>(QString::fromLatin1(c.radio));
        ASSERT_NE(edit, nullptr) << c.edit;
        ASSERT_NE(radio, nullptr) << c.radio;
        radio->click();
        // Validation stops at the first fault: each case faults one box only.
        const QString kept = edit->text();
        edit->setText(QString::fromLatin1(c.text));
        edit->setFocus();
        for (bool question : {false, true}) {
            SaveModal(
                QString::fromLatin1(c.name) + (question ? QStringLiteral("_question") : QString()),
                [&] { dlg.ValidateOptions(question); }, [](QWidget* w) { w->close(); }, &dlg);
        }
        edit->setText(kept);
    }
}

TEST_F(ScreenshotsTest, StartupWarningAndOverwriteQuestion) {
    SaveModal(
        QStringLiteral("startup_warning"), [&] { ShowStartupWarning(m_settings); },
        [](QWidget* w) { test::AnswerTask(w, 1); });

    // The question as a run asks it, for a destination deep in long folders.
    std::string message(LoadString(4000));
    const std::string folder = "/home/user/archive/correspondence 1998-2004/letters from the "
                               "regional office/scanned and transcribed/second batch";
    message.replace(message.find("%1"), 2, "_unicode_letter to the board about the budget.html");
    message.replace(message.find("%2"), 2, folder);
    COverwriteQuestionDlg question;
    SaveModal(
        QStringLiteral("overwrite_question"), [&] { question.AskOverwrite(message); },
        [](QWidget* w) { test::AnswerTask(w, COverwriteQuestionDlg::kIdDontOverwrite); });
}

TEST_F(ScreenshotsTest, ProgressMidRunAndAborted) {
    CSourceFileListDoc files;
    for (int i = 0; i < 12; ++i) {
        files.AddFile(m_dir / ("chapter " + std::to_string(i) + ".html"));
    }
    test::CHeldController controller(&files, m_settings, 5);
    CConvProgressDlg dlg(controller);
    test::AnswerModals(&dlg, [&](QWidget* w) {
        if (w != &dlg) {
            return true;
        }
        QTest::qWait(3 * CConvProgressDlg::kRefreshMs);
        Save(&dlg, QStringLiteral("progress_running"));
        QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("abortButton")),
                          Qt::LeftButton);
        QTest::qWait(2 * CConvProgressDlg::kRefreshMs);
        Save(&dlg, QStringLiteral("progress_aborted"));
        controller.Release();
        return false;
    });
    dlg.exec();
    CConvController::s_bCancelRequested = false;
}

TEST_F(ScreenshotsTest, ResultSortedByStatus) {
    const struct {
        const char* name;
        int level;
        int message;
    } rows[] = {
        {"chapter 2.html", kLevelOk, kMsgOk},
        {"chapter 1.html", kLevelError, kMsgDestExistsSkipped},
        {"notes.txt", kLevelWarning, kMsgDestOverwritten},
        {"index.html", kLevelError, kMsgInvalidCharacter},
        {"empty.txt", kLevelWarning, kMsgSourceEmpty},
        {"chapter 3.html", kLevelOk, kMsgOk},
    };
    CSourceFileListDoc files;
    CLog log;
    for (const auto& row : rows) {
        const std::string path = m_dir / row.name;
        files.AddFile(path);
        log.SetStatus(log.AddRecord(path), row.level, row.message);
    }
    CControllerBase run(&files, 1252, 1, "_unicode_", 2, false, true, false);
    CResultDlg dlg(log, run, m_settings);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    dlg.SortBy(1);
    Save(&dlg, QStringLiteral("result_sorted"));
}

TEST_F(ScreenshotsTest, PreferencesPagesAndTheInvalidExtensionMessage) {
    CAdvPrefSheet sheet(m_settings);
    sheet.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
    Save(&sheet, QStringLiteral("preferences_html_comments"));
    sheet.findChild<QTabWidget*>(QStringLiteral("preferencesTabs"))->setCurrentIndex(1);
    auto* list = sheet.findChild<QListWidget*>(QStringLiteral("extensionList"));
    list->item(1)->setSelected(true);
    list->item(2)->setSelected(true);
    auto* edit = sheet.findChild<QLineEdit*>(QStringLiteral("extensionEdit"));
    edit->setText(QStringLiteral("a*b"));
    Save(&sheet, QStringLiteral("preferences_file_types"));
    SaveModal(
        QStringLiteral("preferences_invalid_extension"), [&] { sheet.Page2()->OnAdd(); },
        [](QWidget* w) { test::AnswerTask(w, 1); }, &sheet);
}

TEST_F(ScreenshotsTest, CodecToolAndEncoderOptions) {
    CCodecDlg dlg(m_settings);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    Save(&dlg, QStringLiteral("codec_empty"));
    dlg.findChild<CCodecEdit*>(QStringLiteral("unicodeTextEdit"))
        ->setPlainText(QString::fromStdU16String(
            u"Pr\u00EAt-\u00E0-porter \u2014 5 \u20AC <b>\u00BD</b>\n\u041F\u0440\u0438\u0432\u0435"
            u"\u0442 \U0001F600"));
    dlg.OnEncode();
    Save(&dlg, QStringLiteral("codec_encoded"));

    const struct {
        bool prefer;
        std::int32_t form;
        const char* name;
    } states[] = {
        {true, 0, "codec_options_names_decimal"},
        {false, 0, "codec_options_numbers_decimal"},
        {true, 1, "codec_options_names_hex"},
        {false, 1, "codec_options_numbers_hex"},
    };
    for (const auto& state : states) {
        CHtmlCodecOptionDlg options(state.prefer, state.form, &dlg);
        options.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&options));
        Save(&options, QString::fromLatin1(state.name));
    }
}

TEST_F(ScreenshotsTest, SearchFilesWithResultsAndSavedSearches) {
    CSourceFileListDoc files;
    CVarnoltDlg main(m_settings, files, {});
    main.show();
    main.OnSearchFiles();
    CFindFileDlg* dlg = main.FindFileDialog();
    ASSERT_NE(dlg, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg));
    Save(dlg, QStringLiteral("search_files_empty"));

    for (const char* name : {"site/index.htm", "site/about.html", "site/news/2026/march.htm",
                             "site/news/2026/april.htm", "site/news/archive.html",
                             "site/css/style.css", "site/old/index.htm"}) {
        std::filesystem::create_directories(std::filesystem::path(m_dir / name).parent_path());
        test::WriteFile(m_dir / name, "x");
    }
    dlg->findChild<QLineEdit*>("folderEdit")->setText(QString::fromStdString(m_dir / "site"));
    dlg->findChild<QLineEdit*>("inclusionEdit")->setText(QStringLiteral("*.htm|*.html"));
    dlg->findChild<QLineEdit*>("exclusionEdit")->setText(QStringLiteral("old*"));
    dlg->findChild<QCheckBox*>("subfoldersCheck")->setChecked(true);
    QSignalSpy finished(dlg, &CFindFileDlg::searchFinished);
    dlg->OnSearch();
    ASSERT_TRUE(finished.wait(10000));
    Save(dlg, QStringLiteral("search_files_results"));

    SaveModal(
        QStringLiteral("search_files_save"), [&] { dlg->OnSave(); },
        [](QWidget* w) {
            w->findChild<QLineEdit*>("searchNameEdit")->setText(QStringLiteral("Web pages"));
            w->findChild<QPushButton*>("okButton")->click();
        });
    SaveModal(
        QStringLiteral("search_files_delete"), [&] { dlg->OnDelete(); },
        [](QWidget* w) { test::AnswerTask(w, 7); });
}

TEST_F(ScreenshotsTest, HelpWindowAtTheDefaultTopicAndTheOutputOptions) {
    QWidget owner;
    const struct {
        int context;
        const char* name;
    } topics[] = {{kHelpDefault, "help_default"},
                  {kHelpOutputOptions, "help_output_options"},
                  {kHelpPreferencesHtml, "help_preferences_file_types"}};
    for (const auto& topic : topics) {
        ShowHelpTopic(topic.context, &owner);
        CHelpWindow* help = ExistingHelpWindow();
        ASSERT_NE(help, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(help));
        Save(help, QString::fromLatin1(topic.name));
    }
}

// The three answers of "Check for Updates...", from a server on this machine.
TEST_F(ScreenshotsTest, UpdateCheckOutcomes) {
    const struct {
        const char* name;
        QByteArray response;
        int button;
    } cases[] = {
        {"update_failed", test::Http("404 Not Found", ""), 1},
        {"update_up_to_date", test::Http("200 OK", "VARNOLTUPDATECHECK|513|5.1.3|https://e.org/|"),
         1},
        {"update_available",
         test::Http("200 OK", "VARNOLTUPDATECHECK|514|5.1.4|https://varnolt.example.org/|"), 2},
    };
    for (const auto& c : cases) {
        test::CVersionServer server(c.response);
        UpdateCheckHooks hooks;
        hooks.openUrl = [](const QUrl&) { return true; };
        SaveModal(
            QString::fromLatin1(c.name), [&] { CheckForUpdates(server.Address(), nullptr, hooks); },
            [&](QWidget* w) { test::AnswerTask(w, c.button); });
    }
}

TEST_F(ScreenshotsTest, PreviewOfAShiftJisFileAndTheDetectedEncodings) {
    CSourceFileListDoc files;
    for (const char* name :
         {"fr_cafe_menu_1252.html", "ja_notice_shift_jis.txt", "ru_library_report_1251.txt"}) {
        files.AddFile(std::string(VARNOLT_SOURCE_DIR) + "/samples/" + name);
    }
    CVarnoltDlg dlg(m_settings, files, {});
    auto* combo = dlg.findChild<QComboBox*>(QStringLiteral("sourceEncodingCombo"));
    auto* list = dlg.findChild<QTreeWidget*>();
    auto* note = dlg.findChild<QLabel*>(QStringLiteral("previewNoteLabel"));
    ASSERT_NE(combo, nullptr);
    ASSERT_NE(list, nullptr);
    ASSERT_NE(note, nullptr);
    dlg.show();
    list->setCurrentItem(list->topLevelItem(1));
    for (const auto& [codePage, name] :
         {std::pair{932, "main_preview_shift_jis"}, std::pair{65001, "main_preview_invalid"}}) {
        combo->setCurrentIndex(EncodingCatalogue::IndexOf(codePage));
        note->clear();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !note->text().isEmpty(); }, 5000));
        Save(&dlg, QString::fromLatin1(name));
    }
    // The ranking the detector gives for the selected sample.
    bool saved = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* w = QApplication::activeModalWidget();
        if (w == nullptr || !w->isVisible()) {
            return;
        }
        poll.stop();
        Save(w, QStringLiteral("detect_result"));
        saved = true;
        w->close();
    });
    poll.start(5);
    dlg.OnDetect();
    ASSERT_TRUE(QTest::qWaitFor([&] { return saved; }, 5000));
}

} // namespace
} // namespace varnolt::ui
