// The "Search Files" window: how the main window opens it, searching a real
// tree, adding with and without folder structure (and a run that places the
// files accordingly), the refused folder, and the saved searches kept in a
// real settings file.
#include "app/source_file_list_doc.hpp"
#include "platform/paths.hpp"
#include "search/file_find_ex.hpp"
#include "search/find_file_filter.hpp"
#include "settings/app_settings.hpp"
#include "settings/string_table.hpp"
#include "support/modal_answers.hpp"
#include "support/test_support.hpp"
#include "ui/find_file_dlg.hpp"
#include "ui/help_viewer.hpp"
#include "ui/varnolt_dlg.hpp"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <QTreeWidget>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace {

namespace fs = std::filesystem;
namespace test = varnolt::test;
using varnolt::CAppSettings;
using varnolt::CFindFileFilter;
using varnolt::CSourceFileListDoc;
using varnolt::ui::CFindFileDlg;
using varnolt::ui::CVarnoltDlg;

template <class T> T* Child(QWidget& dlg, const char* name) {
    T* child = dlg.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

QString Message(int id) {
    const std::string_view text = varnolt::LoadString(id);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

struct Fixture {
    test::TempDir dir;
    std::unique_ptr<CAppSettings> settings = std::make_unique<CAppSettings>(dir / "settings.reg");
    CSourceFileListDoc files;
    std::unique_ptr<CVarnoltDlg> main =
        std::make_unique<CVarnoltDlg>(*settings, files, std::string());

    CFindFileDlg& Find() {
        main->OnSearchFiles();
        return *main->FindFileDialog();
    }
    // Ends the session as the program does: the main window goes, then the
    // store writes what is left; a new store reads the file afresh.
    void Restart() {
        main.reset();
        settings.reset();
        settings = std::make_unique<CAppSettings>(dir / "settings.reg");
        main = std::make_unique<CVarnoltDlg>(*settings, files, std::string());
    }
};

// Fills the fields and searches; waits for the result.
void Search(CFindFileDlg& dlg, const std::string& folder, const QString& inclusion = {},
            const QString& exclusion = {}, bool subfolders = false, bool regExp = false) {
    Child<QLineEdit>(dlg, "folderEdit")->setText(Q(folder));
    Child<QLineEdit>(dlg, "inclusionEdit")->setText(inclusion);
    Child<QLineEdit>(dlg, "exclusionEdit")->setText(exclusion);
    Child<QCheckBox>(dlg, "subfoldersCheck")->setChecked(subfolders);
    Child<QCheckBox>(dlg, "regExpCheck")->setChecked(regExp);
    QSignalSpy finished(&dlg, &CFindFileDlg::searchFinished);
    QTest::mouseClick(Child<QPushButton>(dlg, "searchButton"), Qt::LeftButton);
    // The results come back through the event loop: until then the window
    // is busy, and it cannot be asked to search again.
    EXPECT_TRUE(dlg.IsSearching());
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_FALSE(Child<QPushButton>(dlg, "searchButton")->isEnabled());
    if (finished.isEmpty()) {
        ASSERT_TRUE(finished.wait(20000)) << "the search did not end";
    }
    EXPECT_FALSE(dlg.IsSearching());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(Child<QPushButton>(dlg, "searchButton")->isEnabled());
}

// The rows as paths: "In Folder" + "/" + "Name".
std::vector<std::string> Rows(CFindFileDlg& dlg) {
    auto* list = Child<QTreeWidget>(dlg, "resultsList");
    std::vector<std::string> rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = list->topLevelItem(i);
        QString folder = row->text(1);
        rows.push_back((folder == "/" ? folder : folder + "/").toStdString() +
                       row->text(0).toStdString());
    }
    return rows;
}

// The answer to every task dialog: its main instruction and content are
// kept, and `button` is pressed.
struct Answers {
    QObject context;
    QStringList shown;
    explicit Answers(int button) {
        test::AnswerModals(&context, [this, button](QWidget* w) {
            if (w->objectName() == QStringLiteral("taskDialog")) {
                QString text = w->findChild<QLabel*>("taskMainInstruction")->text();
                if (auto* content = w->findChild<QLabel*>("taskContent");
                    content != nullptr && !content->text().isEmpty()) {
                    text += " | " + content->text();
                }
                shown << text;
                test::AnswerTask(w, button);
            }
            return true;
        });
    }
};

void MakeTree(const test::TempDir& dir) {
    for (const char* name :
         {"root/a.htm", "root/B.HTM", "root/c.html", "root/notes.txt", "root/sub/d.htm",
          "root/sub/deeper/e.htm", "root/sub/old.htm", "root/sub/f.php"}) {
        fs::create_directories(fs::path(dir / name).parent_path());
        test::WriteFile(dir / name, "caf\xe9\n");
    }
}

TEST(FindFileDlg, TheMainWindowOpensOneWindowThatKeepsItsFieldsWhenHidden) {
    Fixture f;
    f.main->show();
    QApplication::setActiveWindow(f.main.get());
    EXPECT_EQ(f.main->FindFileDialog(), nullptr) << "made on first use only";
    QTest::keyClick(Child<QLineEdit>(*f.main, "destPrefixEdit"), Qt::Key_F, Qt::ControlModifier);
    CFindFileDlg* dlg = f.main->FindFileDialog();
    ASSERT_NE(dlg, nullptr);
    EXPECT_TRUE(dlg->isVisible());

    // A first start: "Last Used" alone, empty fields, preserve on.
    auto* combo = Child<QComboBox>(*dlg, "savedSearchCombo");
    ASSERT_EQ(combo->count(), 1);
    EXPECT_EQ(combo->itemText(0), QStringLiteral("Last Used"));
    EXPECT_TRUE(Child<QLineEdit>(*dlg, "folderEdit")->text().isEmpty());
    EXPECT_EQ(Child<QLineEdit>(*dlg, "folderEdit")->placeholderText(),
              QStringLiteral("Specify Folder to search"));
    EXPECT_FALSE(Child<QCheckBox>(*dlg, "subfoldersCheck")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(*dlg, "regExpCheck")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(*dlg, "preserveFolderCheck")->isChecked());
    EXPECT_FALSE(Child<QPushButton>(*dlg, "deleteSearchButton")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(*dlg, "addToListButton")->isEnabled());
    EXPECT_FALSE(Child<QLabel>(*dlg, "resultCountLabel")->isVisible());
    EXPECT_TRUE(Child<QPushButton>(*dlg, "searchButton")->isDefault());
    auto* results = Child<QTreeWidget>(*dlg, "resultsList");
    EXPECT_EQ(results->headerItem()->text(0), QStringLiteral("Name"));
    EXPECT_EQ(results->headerItem()->text(1), QStringLiteral("In Folder"));
    const int width = results->viewport()->width();
    EXPECT_NEAR(results->columnWidth(0), width * 3 / 10.0, 0.5);
    EXPECT_LT(results->columnWidth(0) + results->columnWidth(1), width);

    Child<QLineEdit>(*dlg, "inclusionEdit")->setText("*.htm");
    dlg->close();
    EXPECT_FALSE(dlg->isVisible());
    QTest::mouseClick(Child<QPushButton>(*f.main, "searchFilesButton"), Qt::LeftButton);
    EXPECT_EQ(f.main->FindFileDialog(), dlg);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(Child<QLineEdit>(*dlg, "inclusionEdit")->text(), QStringLiteral("*.htm"));
    dlg->hide();
    f.main->findChild<QAction*>("searchFilesAction")->trigger();
    EXPECT_EQ(f.main->FindFileDialog(), dlg);
    EXPECT_TRUE(dlg->isVisible());
}

TEST(FindFileDlg, ListsWhatTheSearchEngineFinds) {
    Fixture f;
    MakeTree(f.dir);
    const std::string root = varnolt::platform::ResolvePath(f.dir / "root");
    const struct {
        const char* inclusion;
        const char* exclusion;
        bool subfolders;
        bool regExp;
        std::size_t expected;
    } cases[] = {
        {"", "", false, false, 4},
        {"*.htm", "", false, false, 2},
        {"*.htm|*.php", "old*", true, false, 5},
        {"^.*\\.htm$", "^e", true, true, 4},
        {"*.xyz", "", true, false, 0},
    };
    CFindFileDlg& dlg = f.Find();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.inclusion);
        Search(dlg, root, c.inclusion, c.exclusion, c.subfolders, c.regExp);
        std::vector<std::string> expected;
        varnolt::SearchFolder(expected, c.subfolders, root, c.inclusion, c.exclusion, c.regExp);
        EXPECT_EQ(Rows(dlg), expected);
        EXPECT_EQ(dlg.Results(), expected);
        EXPECT_EQ(expected.size(), c.expected);
        auto* count = Child<QLabel>(dlg, "resultCountLabel");
        EXPECT_FALSE(count->isHidden());
        EXPECT_EQ(count->text(), QStringLiteral("%1 files found").arg(c.expected));
        EXPECT_EQ(Child<QPushButton>(dlg, "addToListButton")->isEnabled(), c.expected > 0);
    }
}

TEST(FindFileDlg, AFilterThatDoesNotCompileIsShownAndNothingIsListed) {
    Fixture f;
    MakeTree(f.dir);
    CFindFileDlg& dlg = f.Find();
    Search(dlg, f.dir / "root", "*.htm"); // results from before must go
    ASSERT_FALSE(Rows(dlg).empty());
    Answers answers(1);
    Search(dlg, f.dir / "root", "(a|b)\\.txt", "", false, true);
    EXPECT_EQ(answers.shown, QStringList{"Include Filter: Error on regex (a : Paren expected"});
    EXPECT_TRUE(Rows(dlg).empty());
    EXPECT_EQ(Child<QLabel>(dlg, "resultCountLabel")->text(), QStringLiteral("0 files found"));
    EXPECT_FALSE(Child<QPushButton>(dlg, "addToListButton")->isEnabled());
}

TEST(FindFileDlg, RefusedFoldersAreStillRememberedAsLastUsed) {
    Fixture f;
    test::WriteFile(f.dir / "plain", "x");
    // An existing folder whose path is 260 units long.
    std::string longFolder = f.dir.Path();
    while (longFolder.size() < 250) {
        longFolder += "/dddddddd";
    }
    longFolder += "/" + std::string(259 - longFolder.size(), 'e');
    ASSERT_EQ(longFolder.size(), 260u);
    fs::create_directories(longFolder);
    const std::string lastRefused = f.dir / "does not exist";
    for (const std::string& folder : {f.dir / "plain", longFolder, lastRefused}) {
        SCOPED_TRACE(folder);
        CFindFileDlg& dlg = f.Find();
        Answers answers(1);
        Child<QLineEdit>(dlg, "folderEdit")->setText(Q(folder));
        dlg.OnSearch();
        EXPECT_EQ(answers.shown, QStringList{Message(3013)});
        EXPECT_FALSE(dlg.IsSearching());
        EXPECT_EQ(dlg.SavedSearches().front().strFolder, Q(folder).toStdU16String());
    }
    f.Restart();
    EXPECT_EQ(Child<QLineEdit>(f.Find(), "folderEdit")->text(), Q(lastRefused));
}

TEST(FindFileDlg, AddingKeepsTheBaseFolderOfSearchTimeAndARunPlacesFilesByIt) {
    for (const bool preserve : {true, false}) {
        SCOPED_TRACE(preserve);
        Fixture f;
        MakeTree(f.dir);
        const std::string root = varnolt::platform::ResolvePath(f.dir / "root");
        const std::string out = f.dir / "out";
        fs::create_directories(out);
        // Already listed without a base folder: it keeps that.
        f.main->AddFiles({Q(root + "/a.htm")});

        CFindFileDlg& dlg = f.Find();
        Child<QCheckBox>(dlg, "preserveFolderCheck")->setChecked(preserve);
        Search(dlg, root, "*.htm", "", true);
        ASSERT_EQ(dlg.Results().size(), 5u);
        // Unticking after the search changes nothing for these results.
        Child<QCheckBox>(dlg, "preserveFolderCheck")->setChecked(!preserve);
        QTest::mouseClick(Child<QPushButton>(dlg, "addToListButton"), Qt::LeftButton);

        ASSERT_EQ(f.files.GetCount(), 5);
        EXPECT_EQ(Child<QLabel>(*f.main, "itemCountLabel")->text(), QStringLiteral("5 items"));
        EXPECT_EQ(Child<QTreeWidget>(*f.main, "sourceFileList")->topLevelItemCount(), 5);
        EXPECT_EQ(f.files.GetBaseFolder(0), "");
        for (int i = 1; i < 5; ++i) {
            EXPECT_EQ(f.files.GetBaseFolder(i), preserve ? root : "") << f.files.GetPath(i);
        }
        EXPECT_TRUE(Rows(dlg).empty());
        EXPECT_EQ(Child<QLabel>(dlg, "resultCountLabel")->text(), QStringLiteral("0 files found"));
        EXPECT_FALSE(Child<QPushButton>(dlg, "addToListButton")->isEnabled());

        // A run to an output folder: sub-folders recreated only under a
        // base folder.
        f.main->findChild<QRadioButton*>("folderRadio")->click();
        f.main->findChild<QLineEdit*>("outputFolderEdit")->setText(Q(out));
        QObject context;
        test::AnswerModals(&context, [](QWidget* w) {
            if (w->objectName() != QStringLiteral("resultDlg")) {
                return true;
            }
            w->findChild<QPushButton*>("closeButton")->click();
            return false;
        });
        f.main->OnConvert();
        std::set<std::string> placed;
        for (const auto& entry : fs::recursive_directory_iterator(out)) {
            if (entry.is_regular_file()) {
                placed.insert(fs::relative(entry.path(), out).string());
            }
        }
        const std::set<std::string> expected =
            preserve ? std::set<std::string>{"a.htm", "B.HTM", "sub/d.htm", "sub/old.htm",
                                             "sub/deeper/e.htm"}
                     : std::set<std::string>{"a.htm", "B.HTM", "d.htm", "old.htm", "e.htm"};
        EXPECT_EQ(placed, expected);
    }
}

TEST(FindFileDlg, SavedSearchesAreAppliedSavedAndDeleted) {
    Fixture f;
    fs::create_directories(f.dir / "docs");
    CFindFileDlg& dlg = f.Find();
    auto* combo = Child<QComboBox>(dlg, "savedSearchCombo");
    auto* folder = Child<QLineEdit>(dlg, "folderEdit");
    auto* remove = Child<QPushButton>(dlg, "deleteSearchButton");

    // The save dialog: OK only with a name; two saves under one name are two
    // entries.
    folder->setText(Q(f.dir / "docs"));
    Child<QLineEdit>(dlg, "inclusionEdit")->setText("*.htm");
    Child<QCheckBox>(dlg, "subfoldersCheck")->setChecked(true);
    bool okEnabledEmpty = true;
    int saves = 0;
    QObject context;
    test::AnswerModals(&context, [&](QWidget* w) {
        if (w->objectName() != QStringLiteral("addFilterDlg")) {
            return true;
        }
        auto* ok = w->findChild<QPushButton*>("okButton");
        okEnabledEmpty = okEnabledEmpty && ok->isEnabled();
        EXPECT_FALSE(w->findChild<QCheckBox*>("includeFolderCheck")->isVisible());
        w->findChild<QLineEdit*>("searchNameEdit")->setText("web pages");
        ok->click();
        return ++saves < 2;
    });
    dlg.OnSave();
    Child<QCheckBox>(dlg, "preserveFolderCheck")->setChecked(false);
    dlg.OnSave();
    EXPECT_FALSE(okEnabledEmpty);
    ASSERT_EQ(dlg.SavedSearches().size(), 3u);
    EXPECT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->currentIndex(), 2);
    EXPECT_TRUE(remove->isEnabled());
    for (std::size_t i : {1u, 2u}) {
        const CFindFileFilter& saved = dlg.SavedSearches()[i];
        EXPECT_EQ(saved.strName, u"web pages");
        EXPECT_EQ(saved.strFolder, Q(f.dir / "docs").toStdU16String());
        EXPECT_EQ(saved.strInclusion, u"*.htm");
        EXPECT_TRUE(saved.bSearchSubfolders);
        EXPECT_EQ(saved.bPreserveFolders, i == 1);
    }

    // Applying: entry 0 cannot be deleted; an entry's empty folder leaves the
    // box as it is.
    folder->setText("/typed");
    combo->setCurrentIndex(0);
    emit combo->activated(0);
    EXPECT_FALSE(remove->isEnabled());
    EXPECT_EQ(folder->text(), QStringLiteral("/typed"));
    EXPECT_TRUE(Child<QLineEdit>(dlg, "inclusionEdit")->text().isEmpty());
    EXPECT_TRUE(Child<QCheckBox>(dlg, "preserveFolderCheck")->isChecked());
    {
        Answers answers(6);
        dlg.OnDelete();
        EXPECT_TRUE(answers.shown.isEmpty()) << "entry 0 is never asked about";
    }
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    EXPECT_TRUE(remove->isEnabled());
    EXPECT_EQ(folder->text(), Q(f.dir / "docs"));
    EXPECT_TRUE(Child<QCheckBox>(dlg, "preserveFolderCheck")->isChecked());

    // Delete asks; Cancel keeps the entry, Delete removes it.
    for (const int answer : {7, 6}) {
        Answers answers(answer);
        dlg.OnDelete();
        EXPECT_EQ(answers.shown, QStringList{"Delete? | Click Delete button to remove web pages."});
    }
    EXPECT_EQ(dlg.SavedSearches().size(), 2u);
    EXPECT_EQ(combo->count(), 2);
    EXPECT_FALSE(remove->isEnabled());
    EXPECT_FALSE(dlg.SavedSearches()[1].bPreserveFolders) << "the second save is left";

    // Written when the main window goes, read at the next start.
    const std::vector<CFindFileFilter> kept = dlg.SavedSearches();
    f.Restart();
    EXPECT_EQ(f.Find().SavedSearches(), kept);
    EXPECT_EQ(Child<QComboBox>(f.Find(), "savedSearchCombo")->itemText(1),
              QStringLiteral("web pages"));
}

TEST(FindFileDlg, StoredSearchesSurviveAStartByteForByteAndOldOnesAreUpgraded) {
    // Entry 0 written by an older version (no third flag) and an 8-bit
    // name: it loads with folder structure off and is written back as the
    // current version.
    const std::vector<std::uint8_t> old = {
        0x01, 0x00, 0x01, 0x00, 0x00, 0x00, // one entry, version 1
        0x04, 'O',  'l',  'd',  '!',        // 8-bit name
        0x02, '/',  'x',                    // 8-bit folder
        0xFF, 0xFE, 0xFF, 0x01, '*',  0x00, // UTF-16 inclusion
        0x00,                               // empty exclusion
        0x01, 0x00};                        // sub-folders, no regex
    Fixture f;
    ASSERT_TRUE(f.settings->WriteBinary(f.settings->SearchPredefinedFilter, old));
    f.Restart();
    CFindFileDlg& dlg = f.Find();
    EXPECT_EQ(Child<QComboBox>(dlg, "savedSearchCombo")->itemText(0), QStringLiteral("Old!"));
    EXPECT_EQ(Child<QLineEdit>(dlg, "folderEdit")->text(), QStringLiteral("/x"));
    EXPECT_EQ(Child<QLineEdit>(dlg, "inclusionEdit")->text(), QStringLiteral("*"));
    EXPECT_TRUE(Child<QCheckBox>(dlg, "subfoldersCheck")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(dlg, "preserveFolderCheck")->isChecked());
    f.Restart();
    std::vector<std::uint8_t> upgraded;
    ASSERT_TRUE(f.settings->ReadBinary(f.settings->SearchPredefinedFilter, upgraded));
    const std::vector<CFindFileFilter> expected{{u"Old!", u"/x", u"*", u"", true, false, false}};
    EXPECT_EQ(upgraded, varnolt::EncodeSavedSearches(expected));

    // What this version wrote comes back unchanged through a session that
    // only looked.
    f.Find();
    f.Restart();
    std::vector<std::uint8_t> again;
    ASSERT_TRUE(f.settings->ReadBinary(f.settings->SearchPredefinedFilter, again));
    EXPECT_EQ(again, upgraded);

    // A damaged value gives "Last Used" alone.
    std::vector<std::uint8_t> cut(upgraded.begin(), upgraded.end() - 1);
    ASSERT_TRUE(f.settings->WriteBinary(f.settings->SearchPredefinedFilter, cut));
    f.Restart();
    auto* combo = Child<QComboBox>(f.Find(), "savedSearchCombo");
    ASSERT_EQ(combo->count(), 1);
    EXPECT_EQ(combo->itemText(0), QStringLiteral("Last Used"));
}

TEST(FindFileDlg, ALinkToAFileIsListedAsTheFileItLeadsTo) {
    // What is listed is what a run converts, as for files named on the
    // command line; a link to a folder is not followed.
    Fixture f;
    const std::string root = varnolt::platform::ResolvePath(f.dir.Path());
    fs::create_directories(root + "/tree");
    fs::create_directories(root + "/elsewhere");
    test::WriteFile(root + "/elsewhere/target.htm", "x");
    fs::create_symlink("../elsewhere/target.htm", root + "/tree/link.htm");
    fs::create_directory_symlink("../elsewhere", root + "/tree/folder-link");
    CFindFileDlg& dlg = f.Find();
    Search(dlg, root + "/tree", "*.htm", "", true);
    EXPECT_EQ(Rows(dlg), std::vector<std::string>{root + "/elsewhere/target.htm"});
}

TEST(FindFileDlg, ClosingTheProgramDuringASearchWaitsForItAndStillSaves) {
    Fixture f;
    MakeTree(f.dir);
    CFindFileDlg& dlg = f.Find();
    Child<QLineEdit>(dlg, "folderEdit")->setText(Q(f.dir / "root"));
    dlg.OnSearch();
    ASSERT_TRUE(dlg.IsSearching());
    f.Restart(); // the window goes before its results arrive
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    QApplication::processEvents(); // a late result finds no window
    EXPECT_EQ(Child<QLineEdit>(f.Find(), "folderEdit")->text(), Q(f.dir / "root"));
}

TEST(FindFileDlg, BrowseStartsInTheTypedFolderAndCancelKeepsIt) {
    Fixture f;
    const std::string start = f.dir / "start";
    const std::string chosen = f.dir / "start/chosen";
    fs::create_directories(chosen);
    CFindFileDlg& dlg = f.Find();
    auto* edit = Child<QLineEdit>(dlg, "folderEdit");
    edit->setText(Q(start));
    for (const bool accept : {false, true}) {
        QString title;
        QString shownFolder;
        QObject context;
        test::AnswerModals(&context, [&](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            if (dialog == nullptr) {
                return true;
            }
            title = dialog->windowTitle();
            shownFolder = dialog->directory().absolutePath();
            if (accept) {
                dialog->selectFile(Q(chosen));
                QMetaObject::invokeMethod(dialog, "accept");
            } else {
                QMetaObject::invokeMethod(dialog, "reject");
            }
            return false;
        });
        dlg.OnBrowse();
        EXPECT_EQ(title, QStringLiteral("Please choose folder to search"));
        EXPECT_EQ(shownFolder, Q(start));
        // Cancelling keeps what was typed.
        EXPECT_EQ(edit->text(), Q(accept ? chosen : start));
        edit->setText(Q(start));
    }
}

TEST(FindFileDlg, HelpOpensTheFindFilesTopic) {
    Fixture f;
    CFindFileDlg& dlg = f.Find();
    QApplication::setActiveWindow(&dlg);
    using namespace varnolt::ui;
    const QString anchor = QString::fromLatin1(FindHelpTopic(kHelpFindFiles).pszAnchor);
    for (int way = 0; way < 2; ++way) {
        delete ExistingHelpWindow();
        if (way == 0) {
            QTest::mouseClick(Child<QPushButton>(dlg, "helpButton"), Qt::LeftButton);
        } else {
            QTest::keyClick(Child<QLineEdit>(dlg, "folderEdit"), Qt::Key_F1);
        }
        CHelpWindow* help = ExistingHelpWindow();
        ASSERT_NE(help, nullptr);
        EXPECT_TRUE(help->isVisible());
        EXPECT_EQ(help->Browser()->source().fragment(), anchor);
    }
    delete ExistingHelpWindow();
}

} // namespace
