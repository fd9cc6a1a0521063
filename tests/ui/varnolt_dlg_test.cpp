// The main window: enable and focus rules, validation messages and
// questions, keys that must do nothing, profiles and the stored options, and
// a whole run started from the window.
#include "app/source_file_list_doc.hpp"
#include "app/varnolt_app.hpp"
#include "convert/conv_controller.hpp"
#include "convert/log.hpp"
#include "settings/app_settings.hpp"
#include "settings/encoding_catalogue.hpp"
#include "settings/profile.hpp"
#include "settings/string_table.hpp"
#include "support/modal_answers.hpp"
#include "support/test_support.hpp"
#include "ui/interactive_start.hpp"
#include "ui/overwrite_question_dlg.hpp"
#include "ui/varnolt_dlg.hpp"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <climits>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using varnolt::CAppSettings;
using varnolt::CSourceFileListDoc;
using varnolt::ui::CVarnoltDlg;
namespace test = varnolt::test;

namespace {

struct Shown {
    bool bShown = false;
    QString strInstruction;
    QString strContent;
    QString strTitle;
};

// The task dialog's main instruction and content, as its labels show them.
void ReadTexts(QWidget* dialog, Shown& shown) {
    for (auto [name, text] : {std::pair{"taskMainInstruction", &shown.strInstruction},
                              std::pair{"taskContent", &shown.strContent}}) {
        if (auto* label = dialog->findChild<QLabel*>(QString::fromLatin1(name))) {
            *text = label->text();
        }
    }
}

// Runs `call`; the first task dialog it opens is read and answered with the
// button `buttonId` (or its first button when there is none of that id).
Shown Answering(int buttonId, const std::function<void()>& call) {
    Shown shown;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* w = QApplication::activeModalWidget();
        if (w == nullptr || w->objectName() != QStringLiteral("taskDialog")) {
            return;
        }
        poll.stop();
        shown.bShown = true;
        shown.strTitle = w->windowTitle();
        ReadTexts(w, shown);
        auto* button = w->findChild<QPushButton*>(QStringLiteral("taskButton%1").arg(buttonId));
        if (button == nullptr) {
            button = w->findChildren<QPushButton*>().front();
        }
        button->click();
    });
    poll.start(5);
    call();
    poll.stop();
    return shown;
}

// Runs `call`; the first file dialog it opens chooses `path`.
void ChoosingFile(const QString& path, const std::function<void()>& call) {
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        poll.stop();
        dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    poll.start(5);
    call();
    poll.stop();
}

template <class T> T* Child(QWidget& dlg, const char* name) {
    T* child = dlg.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

QString Message(int id) {
    const std::string_view text = varnolt::LoadString(id);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The dialog over a settings file of its own in a fresh folder.
struct Fixture {
    test::TempDir dir;
    std::unique_ptr<CAppSettings> settings = std::make_unique<CAppSettings>(dir / "settings.reg");
    CSourceFileListDoc files;
};

// A dialog whose run is recorded, not carried out.
class CRecordingDlg : public CVarnoltDlg {
public:
    using CVarnoltDlg::CVarnoltDlg;
    std::vector<std::string> runs; // output argument of each run
    std::vector<bool> forced;      // whether each run converted refused files too
    int filesAtRun = 0;

protected:
    void RunConversion(varnolt::CConvController& controller) override {
        runs.push_back(controller.m_strOutputArg);
        forced.push_back(controller.m_bForce);
        filesAtRun = controller.m_pFileList->GetCount();
        varnolt::CLog::Instance().AddRecord("/recorded");
    }
};

} // namespace

TEST(VarnoltDlg, MetaTagBoxFollowsUtf8AndEditsSelectTheirOutputOption) {
    Fixture f;
    CVarnoltDlg dlg(*f.settings, f.files, {});
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    auto* format = Child<QComboBox>(dlg, "unicodeFormatCombo");
    auto* meta = Child<QCheckBox>(dlg, "utf8MetaCheck");
    meta->setEnabled(true);
    format->setCurrentIndex(2);
    meta->setChecked(true);
    for (int index : {0, 1, 2, 1}) {
        format->setCurrentIndex(index);
        EXPECT_EQ(meta->isEnabled(), index == 2) << index;
        EXPECT_TRUE(meta->isChecked()) << "the state is kept while disabled";
    }
    EXPECT_TRUE(dlg.CurrentOptions().bUtf8Meta);

    const char* edits[] = {"backupPrefixEdit", "destPrefixEdit", "outputFolderEdit"};
    const char* radios[] = {"backupRadio", "prefixRadio", "folderRadio"};
    for (int option : {2, 0, 1}) {
        Child<QLineEdit>(dlg, edits[option])->setFocus(Qt::MouseFocusReason);
        QApplication::processEvents();
        EXPECT_EQ(dlg.CurrentOptions().nOutputOption, option);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(Child<QRadioButton>(dlg, radios[i])->isChecked(), i == option);
        }
    }
    // Clicking the checked radio button again keeps it checked.
    QTest::mouseClick(Child<QRadioButton>(dlg, radios[1]), Qt::LeftButton);
    EXPECT_TRUE(Child<QRadioButton>(dlg, radios[1])->isChecked());
    EXPECT_EQ(dlg.CurrentOptions().nOutputOption, 1);
}

TEST(VarnoltDlg, TooltipsCarryTheirTexts) {
    Fixture f;
    CVarnoltDlg dlg(*f.settings, f.files, {});
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    auto* encodings = Child<QComboBox>(dlg, "sourceEncodingCombo");
    EXPECT_EQ(encodings->count(), 51);
    EXPECT_EQ(encodings->itemData(4, Qt::ToolTipRole).toString(),
              QStringLiteral("Code Page 65001"));
    auto* formats = Child<QComboBox>(dlg, "unicodeFormatCombo");
    for (int i = 0; i < formats->count(); ++i) {
        const auto tip = varnolt::EncodingCatalogue::Format(i).strTooltip;
        EXPECT_EQ(formats->itemData(i, Qt::ToolTipRole).toString().toStdString(), tip);
    }
    // Long tips wrap at their own width and stay up for 20 seconds.
    auto* backup = Child<QRadioButton>(dlg, "backupRadio");
    EXPECT_TRUE(backup->toolTip().contains(QStringLiteral("width=\"350\"")))
        << backup->toolTip().toStdString();
    EXPECT_TRUE(backup->toolTip().contains(
        QStringLiteral("- create backup of original files by adding a filename prefix<br>")));
    EXPECT_EQ(backup->toolTipDuration(), 20000);
}

TEST(VarnoltDlg, ValidationMessagesInMessageMode) {
    Fixture f;
    const std::string folder = f.dir / "out folder";
    ::mkdir(folder.c_str(), 0755);
    test::WriteFile(f.dir / "plain", "x");
    struct Case {
        int option;
        std::string text;
        int message; // 0: valid; -1: the no-option message
    };
    const Case cases[] = {
        {0, std::string(127, 'p'), 0},
        {0, std::string(128, 'p'), 3003},
        {0, "a:b", 3003},
        {0, "", 3003},
        {0, "   ", 0},
        {1, "new_", 0},
        {1, "a/b", 3004},
        {1, std::string(128, 'q'), 3004},
        {2, "  \"" + folder + "\"  ", 0},
        {2, folder, 0},
        {2, f.dir / "missing", 3005},
        {2, f.dir / "plain", 3005},
        {2, "", 3005},
        {-1, "", -1},
        {3, "", -1},
    };
    const char* edits[] = {"backupPrefixEdit", "destPrefixEdit", "outputFolderEdit"};
    for (const Case& c : cases) {
        // The stored option decides the radio group, out-of-range ones too.
        f.settings->OutputOption.Set(c.option);
        if (c.option >= 0 && c.option <= 2) {
            (c.option == 0   ? f.settings->PrependSource
             : c.option == 1 ? f.settings->PrependDest
                             : f.settings->OutputFolder)
                .Set(c.text);
        }
        CVarnoltDlg dlg(*f.settings, f.files, {});
        if (c.option >= 0 && c.option <= 2) {
            ASSERT_EQ(Child<QLineEdit>(dlg, edits[c.option])->text().toStdString(), c.text);
        }
        bool valid = false;
        const Shown shown = Answering(1, [&] { valid = dlg.ValidateOptions(false); });
        EXPECT_EQ(valid, c.message == 0) << c.option << " [" << c.text << "]";
        EXPECT_EQ(shown.bShown, c.message != 0) << c.option << " [" << c.text << "]";
        if (c.message > 0) {
            EXPECT_EQ(shown.strInstruction, Message(c.message)) << c.text;
        } else if (c.message < 0) {
            EXPECT_EQ(shown.strInstruction, QStringLiteral("No output option is selected."));
        }
    }
}

TEST(VarnoltDlg, QuestionModeAsksAndSavesTheFolderAsTyped) {
    Fixture f;
    const std::string typed = f.dir / "not there";
    f.settings->OutputOption.Set(2);
    f.settings->OutputFolder.Set(typed);
    CVarnoltDlg dlg(*f.settings, f.files, {});

    bool valid = true;
    const Shown cancelled = Answering(7, [&] { valid = dlg.ValidateOptions(true); });
    EXPECT_FALSE(valid);
    EXPECT_EQ(cancelled.strInstruction, Message(3005));
    EXPECT_EQ(cancelled.strContent, QStringLiteral("Continue?"));
    EXPECT_EQ(cancelled.strTitle, QStringLiteral("Varnolt"));
    EXPECT_TRUE(Answering(6, [&] { valid = dlg.ValidateOptions(true); }).bShown);
    EXPECT_TRUE(valid);

    // Save: Continue, then the file dialog; the profile keeps the text.
    const std::string profile = f.dir / "saved.vnp";
    Answering(6, [&] {
        ChoosingFile(QString::fromStdString(profile), [&] { dlg.OnSaveConfiguration(); });
    });
    varnolt::ProfileContent content;
    ASSERT_EQ(varnolt::ReadProfile(profile, content), varnolt::ProfileStatus::Ok);
    EXPECT_EQ(content.options.strOutputFolder, typed);
    EXPECT_EQ(content.options.nOutputOption, 2);
    // Saving is not loading: the window's options still go to the settings.
    EXPECT_FALSE(dlg.IsProfileLoaded());
}

TEST(VarnoltDlg, EnterAndEscapeDoNotCloseTheWindow) {
    Fixture f;
    CVarnoltDlg dlg(*f.settings, f.files, {});
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    auto* edit = Child<QLineEdit>(dlg, "backupPrefixEdit");
    for (QWidget* target : {static_cast<QWidget*>(&dlg), static_cast<QWidget*>(edit)}) {
        for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
            target->setFocus();
            QTest::keyClick(target, key);
            EXPECT_TRUE(dlg.isVisible()) << key;
        }
    }
}

TEST(VarnoltDlg, ProfileSetsTitleAndKeepsStoredOptions) {
    Fixture f;
    const std::string profile = f.dir / "team.north.vnp";
    varnolt::ProfileOptions options;
    options.nCodePage = 932;
    options.nOutputOption = 1;
    options.strDestPrefix = "jp_";
    options.nUnicodeFormat = 1; // UTF-16: the meta box is off but keeps its state
    options.bUtf8Meta = true;
    ASSERT_TRUE(varnolt::WriteProfile(profile, options));
    const std::string broken = f.dir / "broken.vnp";
    test::WriteFile(broken, "not a profile");

    // Named on the command line.
    {
        CVarnoltDlg dlg(*f.settings, f.files, profile);
        EXPECT_EQ(dlg.windowTitle(), QStringLiteral("team.north - Varnolt"));
        EXPECT_TRUE(dlg.IsProfileLoaded());
        EXPECT_EQ(Child<QComboBox>(dlg, "sourceEncodingCombo")->currentText(),
                  QStringLiteral("Japanese (Shift-JIS)"));
        EXPECT_FALSE(Child<QCheckBox>(dlg, "utf8MetaCheck")->isEnabled());
        EXPECT_TRUE(Child<QCheckBox>(dlg, "utf8MetaCheck")->isChecked());
        Child<QLineEdit>(dlg, "destPrefixEdit")->setText(QStringLiteral("changed_"));
        dlg.close();
    }
    // A profile that cannot be read: message 3011, the stored options, the plain title.
    {
        std::unique_ptr<CVarnoltDlg> dlg;
        const Shown shown = Answering(
            1, [&] { dlg = std::make_unique<CVarnoltDlg>(*f.settings, f.files, broken); });
        EXPECT_EQ(shown.strInstruction, Message(3011));
        EXPECT_TRUE(shown.strContent.startsWith(QString::fromStdString("\"" + broken + "\": ")))
            << shown.strContent.toStdString();
        EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Varnolt"));
        EXPECT_FALSE(dlg->IsProfileLoaded());
        EXPECT_EQ(dlg->CurrentOptions().strDestPrefix, f.settings->PrependDest.Get());
    }
    // Opened from the File menu.
    {
        CVarnoltDlg dlg(*f.settings, f.files, {});
        Child<QLineEdit>(dlg, "backupPrefixEdit")->setText(QStringLiteral("lost_"));
        ChoosingFile(QString::fromStdString(profile), [&] { dlg.OnOpenConfiguration(); });
        EXPECT_EQ(dlg.windowTitle(), QStringLiteral("team.north - Varnolt"));
        EXPECT_EQ(dlg.CurrentOptions().strDestPrefix, "jp_");
        dlg.close();
    }
    f.settings.reset(); // the settings file is written at orderly end
    CAppSettings reread(f.dir / "settings.reg");
    EXPECT_EQ(reread.PrependDest.Get(), "_unicode_");
    EXPECT_EQ(reread.PrependSource.Get(), "_org_");
}

TEST(VarnoltDlg, ClosingStoresTheOptions) {
    Fixture f;
    // Showing the window must not move the focus into an edit box, which
    // would silently pick that box's output option.
    f.settings->OutputOption.Set(2);
    {
        CVarnoltDlg dlg(*f.settings, f.files, {});
        Child<QLineEdit>(dlg, "destPrefixEdit")->setText(QStringLiteral("conv_"));
        Child<QComboBox>(dlg, "sourceEncodingCombo")->setCurrentIndex(11);
        Child<QComboBox>(dlg, "unicodeFormatCombo")->setCurrentIndex(0);
        Child<QCheckBox>(dlg, "addBomCheck")->setChecked(false);
        dlg.show();
        QApplication::setActiveWindow(&dlg);
        QApplication::processEvents();
        QTest::mouseClick(Child<QPushButton>(dlg, "quitButton"), Qt::LeftButton);
        EXPECT_FALSE(dlg.isVisible());
    }
    f.settings.reset();
    CAppSettings reread(f.dir / "settings.reg");
    EXPECT_EQ(reread.PrependDest.Get(), "conv_");
    EXPECT_EQ(reread.Encoding.Get(), 11);
    EXPECT_EQ(reread.CodePage.Get(), 932);
    EXPECT_EQ(reread.UnicodeFormat.Get(), 0);
    EXPECT_EQ(reread.AddBOM.Get(), 0);
    EXPECT_EQ(reread.Version.Get(), 513);
    EXPECT_EQ(reread.OutputOption.Get(), 2);
}

TEST(VarnoltDlg, AddFilesOpensInItsLastFolderAndListsEachFileOnce) {
    Fixture f;
    const std::string folder = f.dir / "texts";
    ::mkdir(folder.c_str(), 0755);
    test::WriteFile(folder + "/a.txt", "a");
    const std::string lastFolderName = "LastFolder{084AF227-1B0C-4B3F-8558-364E451775F9}";
    {
        varnolt::CRegStringSetting lastFolder(*f.settings, lastFolderName, "");
        lastFolder.Set(folder);
        lastFolder.Write();
    }
    CVarnoltDlg dlg(*f.settings, f.files, {});
    for (int pass = 0; pass < 2; ++pass) {
        QString opened;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                return;
            }
            poll.stop();
            opened = dialog->directory().absolutePath();
            dialog->selectFile(QStringLiteral("a.txt"));
            QMetaObject::invokeMethod(dialog, "accept");
        });
        poll.start(5);
        dlg.OnAddFiles();
        EXPECT_EQ(opened.toStdString(), folder);
    }
    ASSERT_EQ(f.files.GetCount(), 1); // the second pass chose the same file
    EXPECT_EQ(f.files.GetPath(0), folder + "/a.txt");
    EXPECT_EQ(Child<QLabel>(dlg, "itemCountLabel")->text(), QStringLiteral("1 items"));
}

// What the file dialog hands back is listed under the bytes the file system
// uses: a name that is not UTF-8 keeps its byte, and a link or a launcher
// stands for the file it leads to, as on the command line.
TEST(VarnoltDlg, AddFilesListsTheFileTheChosenNameReaches) {
    Fixture f;
    char real[PATH_MAX];
    ASSERT_NE(::realpath(f.dir.Path().c_str(), real), nullptr);
    const std::string folder = real;
    test::WriteFile(folder + "/target.txt", "na\xefve\n");
    ASSERT_EQ(::symlink("target.txt", (folder + "/link.txt").c_str()), 0);
    test::WriteFile(folder + "/launcher.desktop",
                    "[Desktop Entry]\nType=Link\nURL=file://" + folder + "/target.txt\n");
    test::WriteFile(folder + "/caf\xe9.txt", "caf\xe9\n");
    const struct {
        std::string chosen;
        std::string listed;
    } cases[] = {
        {folder + "/caf\xe9.txt", folder + "/caf\xe9.txt"},
        {folder + "/link.txt", folder + "/target.txt"},
        {folder + "/launcher.desktop", folder + "/target.txt"},
    };
    for (const auto& c : cases) {
        f.files.RemoveAll();
        CVarnoltDlg dlg(*f.settings, f.files, {});
        dlg.AddFiles({QFile::decodeName(c.chosen.c_str())});
        ASSERT_EQ(f.files.GetCount(), 1) << c.chosen;
        EXPECT_EQ(f.files.GetPath(0), c.listed) << c.chosen;
    }
}

// Browsing selects "Output to a folder"; cancelling keeps the typed folder
// rather than emptying the box.
TEST(VarnoltDlg, BrowseSelectsFolderOptionAndCancelKeepsTheTypedFolder) {
    Fixture f;
    const std::string chosen = f.dir / "chosen";
    ::mkdir(chosen.c_str(), 0755);
    f.settings->OutputOption.Set(0);
    f.settings->OutputFolder.Set("/typed/by/hand");
    CVarnoltDlg dlg(*f.settings, f.files, {});
    auto* edit = Child<QLineEdit>(dlg, "outputFolderEdit");
    for (bool accept : {false, true}) {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                return;
            }
            poll.stop();
            EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Please select an output folder:"));
            if (accept) {
                dialog->setDirectory(QString::fromStdString(chosen));
                dialog->selectFile(QString::fromStdString(chosen));
                QMetaObject::invokeMethod(dialog, "accept");
            } else {
                QMetaObject::invokeMethod(dialog, "reject");
            }
        });
        poll.start(5);
        dlg.OnBrowseFolder();
        EXPECT_EQ(dlg.CurrentOptions().nOutputOption, 2);
        EXPECT_EQ(edit->text().toStdString(), accept ? chosen : "/typed/by/hand");
    }
}

TEST(VarnoltDlg, ConvertingRefusedFilesIsChosenPerWindowNeverStored) {
    Fixture f;
    const std::string folder = f.dir / "out";
    ::mkdir(folder.c_str(), 0755);
    f.settings->OutputOption.Set(2);
    f.settings->OutputFolder.Set(folder);
    for (const bool tick : {false, true, false}) {
        CRecordingDlg dlg(*f.settings, f.files, {});
        auto* force = dlg.findChild<QAction*>(QStringLiteral("forceAction"));
        ASSERT_NE(force, nullptr);
        EXPECT_TRUE(force->isCheckable());
        EXPECT_FALSE(force->isChecked()) << "off in every new window";
        if (tick) {
            force->trigger();
        }
        dlg.AddFiles({QStringLiteral("/a.txt")});
        dlg.OnConvert();
        EXPECT_EQ(dlg.forced, std::vector<bool>{tick});
    }
}

TEST(VarnoltDlg, ConvertChecksListAndHandsTheRunItsTarget) {
    Fixture f;
    const std::string folder = f.dir / "out";
    ::mkdir(folder.c_str(), 0755);
    f.settings->OutputOption.Set(2);
    f.settings->OutputFolder.Set(" \"" + folder + "\" ");
    CRecordingDlg dlg(*f.settings, f.files, {});
    auto* count = Child<QLabel>(dlg, "itemCountLabel");
    EXPECT_EQ(count->text(), QStringLiteral("0 items"));

    EXPECT_EQ(Answering(1, [&] { dlg.OnConvert(); }).strInstruction, Message(3002));
    EXPECT_TRUE(dlg.runs.empty());

    dlg.AddFiles({QStringLiteral("/a.txt"), QStringLiteral("/b.txt"), QStringLiteral("/a.txt")});
    EXPECT_EQ(count->text(), QStringLiteral("2 items"));
    dlg.OnConvert();
    ASSERT_EQ(dlg.runs.size(), 1u);
    EXPECT_EQ(dlg.runs[0], folder + "/");
    EXPECT_EQ(dlg.filesAtRun, 2);
    // After the run: no records, no files, no current controller.
    EXPECT_EQ(varnolt::CLog::Instance().GetCount(), 0);
    EXPECT_EQ(f.files.GetCount(), 0);
    EXPECT_EQ(Child<QTreeWidget>(dlg, "sourceFileList")->topLevelItemCount(), 0);
    EXPECT_EQ(count->text(), QStringLiteral("0 items"));
    EXPECT_EQ(varnolt::CControllerBase::GetCurrent(), nullptr);

    // Invalid options: a message and no run.
    dlg.AddFiles({QStringLiteral("/c.txt")});
    Child<QLineEdit>(dlg, "outputFolderEdit")->setText(QString::fromStdString(f.dir / "none"));
    EXPECT_EQ(Answering(1, [&] { dlg.OnConvert(); }).strInstruction, Message(3005));
    EXPECT_EQ(dlg.runs.size(), 1u);
    EXPECT_EQ(f.files.GetCount(), 1);
}

TEST(VarnoltDlg, InteractiveStartShowsWarningThenTheCommandLinesProfileAndFiles) {
    test::TempDir dir;
    const std::string profile = dir / "start.vnp";
    varnolt::ProfileOptions options;
    options.nOutputOption = 1;
    options.strDestPrefix = "u8_";
    ASSERT_TRUE(varnolt::WriteProfile(profile, options));
    const std::string source = dir / "one.txt";
    test::WriteFile(source, "caf\xe9\n");

    const std::string args[] = {"varnolt", "-c", profile, source};
    const char* argv[] = {args[0].c_str(), args[1].c_str(), args[2].c_str(), args[3].c_str()};
    varnolt::CVarnoltApp app(4, argv, dir / "settings.reg");
    // The program's own runner also makes the QApplication, which the tests have.
    app.m_pfnRunInteractive = [](varnolt::CVarnoltApp& self) {
        varnolt::ui::RunMainWindow(self);
        return 0;
    };

    QString title;
    int rows = -1;
    QTimer poll;
    // First the warning (answered with "Don't show again"), then the window.
    Shown warning;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* w = QApplication::activeModalWidget();
        if (w == nullptr) {
            return;
        }
        if (w->objectName() == QStringLiteral("taskDialog") && !warning.bShown) {
            warning.bShown = true;
            ReadTexts(w, warning);
            w->findChild<QCheckBox*>("verificationCheck")->setChecked(true);
            w->findChild<QPushButton*>("taskButton1")->click();
        } else if (w->objectName() == QStringLiteral("varnoltDlg")) {
            poll.stop();
            title = w->windowTitle();
            rows = w->findChild<QTreeWidget*>("sourceFileList")->topLevelItemCount();
            w->close();
        }
    });
    poll.start(5);
    app.InitInstance();
    poll.stop();
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_EQ(warning.strInstruction, QStringLiteral("Warning!!"));
    EXPECT_EQ(title, QStringLiteral("start - Varnolt"));
    EXPECT_EQ(rows, 1);
    EXPECT_TRUE(CAppSettings(dir / "settings.reg").NoWarning.Get());
}

TEST(VarnoltDlg, WholeRunFromTheWindowConvertsAndAsksBeforeOverwriting) {
    Fixture f;
    const std::string fresh = f.dir / "fresh.txt";
    const std::string taken = f.dir / "taken.txt";
    test::WriteFile(fresh, "caf\xe9\n");
    test::WriteFile(taken, "na\xefve\n");
    test::WriteFile(f.dir / "u8_taken.txt", "keep me");
    f.settings->OutputOption.Set(1);
    f.settings->PrependDest.Set("u8_");
    f.settings->Encoding.Set(0);      // Windows-1252
    f.settings->UnicodeFormat.Set(2); // UTF-8
    f.settings->AddBOM.Set(0);
    CVarnoltDlg dlg(*f.settings, f.files, {});
    dlg.AddFiles({QString::fromStdString(fresh), QString::fromStdString(taken)});
    dlg.show();

    QString question;
    QStringList results;
    QObject context;
    test::AnswerModals(&context, [&](QWidget* w) {
        if (w->objectName() == QStringLiteral("taskDialog")) {
            Shown shown;
            ReadTexts(w, shown);
            question = shown.strInstruction + shown.strContent;
            test::AnswerTask(w, varnolt::ui::COverwriteQuestionDlg::kIdDontOverwrite);
            return true;
        }
        if (w->objectName() != QStringLiteral("resultDlg")) {
            return true; // the progress dialog closes by itself
        }
        auto* list = w->findChild<QTreeWidget*>("resultList");
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            results << list->topLevelItem(i)->text(0);
        }
        w->findChild<QPushButton*>("closeButton")->click();
        return false;
    });
    dlg.OnConvert();
    EXPECT_TRUE(question.contains(QStringLiteral("'u8_taken.txt' already exists")))
        << question.toStdString();
    results.sort();
    EXPECT_EQ(results, (QStringList{"fresh.txt", "taken.txt"}));
    EXPECT_EQ(test::ReadFile(f.dir / "u8_fresh.txt"), "caf\xc3\xa9\n");
    EXPECT_EQ(test::ReadFile(f.dir / "u8_taken.txt"), "keep me");
    EXPECT_EQ(test::ReadFile(fresh), "caf\xe9\n");
    EXPECT_EQ(f.files.GetCount(), 0);
    EXPECT_EQ(Child<QLabel>(dlg, "itemCountLabel")->text(), QStringLiteral("0 items"));
}

TEST(VarnoltStart, NonInteractiveRunNeedsNoDisplayAndInteractiveSaysWhyItCannotStart) {
    test::TempDir dir;
    const std::string profile = dir / "run.vnp";
    varnolt::ProfileOptions options;
    options.nOutputOption = 1;
    options.strDestPrefix = "u8_";
    options.nUnicodeFormat = 2;
    options.bAddBOM = false;
    ASSERT_TRUE(varnolt::WriteProfile(profile, options));
    test::WriteFile(dir / "a.txt", "na\xefve\n");
    const std::vector<std::string> noDisplay = {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=",
                                                "VARNOLT_SETTINGS=" + (dir / "settings.reg")};

    const auto run =
        test::RunProgram(VARNOLT_EXE_PATH, {"-u", "-c", profile, "a.txt"}, dir.Path(), noDisplay);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(test::ReadFile(dir / "u8_a.txt"), "na\xc3\xafve\n");

    const auto interactive = test::RunProgram(VARNOLT_EXE_PATH, {"a.txt"}, dir.Path(), noDisplay);
    EXPECT_EQ(interactive.exitCode, 1);
    EXPECT_EQ(interactive.err, "varnolt: no display to show the main window on (DISPLAY is not "
                               "set); use -u for a non-interactive run\n");
}

// Every text shows whole (labels, boxes, buttons, the edits' cue texts) and
// the window fits a 1366 x 768 screen with a panel, filled or empty.
TEST(VarnoltDlgLayout, FitsASmallScreenAndShowsEveryTextWhole) {
    Fixture f;
    for (int i = 0; i < 40; ++i) {
        f.files.AddFile("/home/user/archive/a rather long folder name/chapter " +
                        std::to_string(i) + ".html");
    }
    CVarnoltDlg dlg(*f.settings, f.files, {});
    dlg.show();
    QApplication::processEvents();
    EXPECT_LE(dlg.frameGeometry().width(), 1366);
    EXPECT_LE(dlg.frameGeometry().height(), 768 - 40);
    for (QWidget* w : dlg.findChildren<QWidget*>()) {
        if (!w->isVisible() || qobject_cast<QTreeWidget*>(w->parentWidget()) != nullptr) {
            continue;
        }
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            const QFontMetrics metrics(edit->font());
            EXPECT_GE(edit->contentsRect().width(),
                      metrics.horizontalAdvance(edit->placeholderText()) + 8)
                << edit->objectName().toStdString();
        } else if (qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w)) {
            EXPECT_GE(w->width(), w->sizeHint().width()) << w->objectName().toStdString();
        }
    }
}
