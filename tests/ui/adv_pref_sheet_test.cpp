// The preferences sheet over a real settings file: what each page shows, the
// extension rules of Add and Remove, what OK, Apply and Cancel write (and what
// a page never opened leaves alone), help by page, and a run from the main
// window that uses the new values.
#include "app/source_file_list_doc.hpp"
#include "platform/registry_file.hpp"
#include "platform/text_utf.hpp"
#include "settings/app_settings.hpp"
#include "settings/string_table.hpp"
#include "support/modal_answers.hpp"
#include "support/test_support.hpp"
#include "ui/adv_pref_sheet.hpp"
#include "ui/help_viewer.hpp"
#include "ui/varnolt_dlg.hpp"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

using varnolt::CAppSettings;
using varnolt::ui::CAdvPrefSheet;
namespace test = varnolt::test;

namespace {

std::string RegFile(const std::string& body) {
    return "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Brambleware\\Varnolt 5]\r\n" +
           body;
}

// A settings file with `body` in its section, and the store over it.
struct Prefs {
    test::TempDir dir;
    std::string path = dir / "settings.reg";
    std::unique_ptr<CAppSettings> settings;

    explicit Prefs(const std::string& body = {}) {
        if (!body.empty()) {
            test::WriteFile(path, RegFile(body));
        }
        settings = std::make_unique<CAppSettings>(path);
    }

    // Ends the store, as the program's orderly exit does, so that its
    // changed values reach the file.
    void Exit() { settings.reset(); }

    // A value as the file holds it: "sz:text", "dword:n", or "" when missing.
    std::string Stored(const char* name) const {
        const auto values = varnolt::platform::ParseRegText(test::ReadFile(path));
        const auto it = values.find(name);
        if (it == values.end()) {
            return {};
        }
        const auto& data = it->second.data;
        if (it->second.type == varnolt::platform::kRegDword && data.size() == 4) {
            return "dword:" + std::to_string(data[0] | (data[1] << 8));
        }
        std::u16string text;
        for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
            text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
        }
        if (!text.empty() && text.back() == u'\0') {
            text.pop_back();
        }
        return "sz:" + varnolt::Utf16ToUtf8(text);
    }
};

template <class T> T* Child(QWidget& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

QStringList Entries(QWidget& sheet) {
    QStringList entries;
    auto* list = Child<QListWidget>(sheet, "extensionList");
    for (int i = 0; i < list->count(); ++i) {
        entries << list->item(i)->text();
    }
    return entries;
}

// The sheet as a user sees it: shown, active, on its first page.
void Show(CAdvPrefSheet& sheet) {
    sheet.show();
    QApplication::setActiveWindow(&sheet);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
}

void OpenFileTypes(CAdvPrefSheet& sheet) {
    Child<QTabWidget>(sheet, "preferencesTabs")->setCurrentIndex(1);
    QApplication::processEvents();
}

// Runs `call`; the task dialog it opens (if any) is read and closed with OK.
// Returns its main instruction, empty when none was shown.
QString MessageShownBy(const std::function<void()>& call) {
    QString shown;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* w = QApplication::activeModalWidget();
        if (w == nullptr || w->objectName() != QStringLiteral("taskDialog")) {
            return;
        }
        poll.stop();
        shown = w->findChild<QLabel*>(QStringLiteral("taskMainInstruction"))->text();
        test::AnswerTask(w, 1);
    });
    poll.start(5);
    call();
    poll.stop();
    return shown;
}

void Click(QWidget& sheet, const char* button) {
    QTest::mouseClick(Child<QPushButton>(sheet, button), Qt::LeftButton);
}

// A click on the box itself (the middle of a wide check box is empty space).
void ClickCheck(QWidget& sheet) {
    auto* check = Child<QCheckBox>(sheet, "generateCommentsCheck");
    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(check->height() / 2, check->height() / 2));
}

class CHelpRecordingSheet : public CAdvPrefSheet {
public:
    using CAdvPrefSheet::CAdvPrefSheet;
    std::vector<int> contexts;

protected:
    void ShowHelp(int context) override { contexts.push_back(context); }
};

} // namespace

TEST(AdvPrefSheet, FirstStartShowsTheDefaultsAndTheTextsOfBothPages) {
    Prefs p;
    CAdvPrefSheet sheet(*p.settings);
    Show(sheet);
    EXPECT_EQ(sheet.windowTitle(), QStringLiteral("Preferences"));
    auto* tabs = Child<QTabWidget>(sheet, "preferencesTabs");
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("HTML Comments"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("File Types"));
    auto* check = Child<QCheckBox>(sheet, "generateCommentsCheck");
    EXPECT_EQ(check->text(), QStringLiteral("Generate HTML Comments"));
    EXPECT_TRUE(check->isChecked());
    EXPECT_TRUE(Child<QLabel>(sheet, "htmlCommentsLabel")->text().startsWith("When Varnolt"));
    EXPECT_FALSE(sheet.Page2()->IsCreated());
    EXPECT_FALSE(Child<QPushButton>(sheet, "applyButton")->isEnabled());

    OpenFileTypes(sheet);
    EXPECT_TRUE(Child<QLabel>(sheet, "fileTypesLabel")
                    ->text()
                    .contains(QStringLiteral("HTML-based files only.  You may specify")));
    EXPECT_EQ(Entries(sheet), (QStringList{"phtml", "php3", "php", "asp", "shtml", "html", "htm"}));
    auto* edit = Child<QLineEdit>(sheet, "extensionEdit");
    EXPECT_FALSE(Child<QPushButton>(sheet, "addButton")->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), edit);
    // Add is enabled exactly while the box holds text, blanks included.
    for (const char* text : {" ", "x", ""}) {
        edit->setText(QString::fromLatin1(text));
        EXPECT_EQ(Child<QPushButton>(sheet, "addButton")->isEnabled(), *text != '\0') << text;
    }
}

TEST(AdvPrefSheet, StoredListIsShownByTheRuleAndOkStoresItOnlyWhenItsTextDiffers) {
    const struct {
        const char* stored;
        QStringList shown;
        const char* after; // the value in the file after OK
    } cases[] = {
        {".htm:.html|php", {"htm", "html", "php"}, "sz:htm|html|php"},
        {"  HTM|| php ", {"HTM", " php"}, "sz:HTM|php"},
        {"htm|html|php", {"htm", "html", "php"}, "sz:htm|html|php"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        const std::string line = std::string("\"HtmlFileExt\"=\"") + c.stored + "\"\r\n";
        Prefs p("\"NoHtmlComment\"=dword:00000000\r\n" + line);
        const std::string before = test::ReadFile(p.path);
        {
            CAdvPrefSheet sheet(*p.settings);
            Show(sheet);
            OpenFileTypes(sheet);
            EXPECT_EQ(Entries(sheet), c.shown);
            Click(sheet, "okButton");
            EXPECT_FALSE(sheet.isVisible());
        }
        p.Exit();
        EXPECT_EQ(p.Stored("HtmlFileExt"), c.after);
        if (std::string("sz:") + c.stored == c.after) {
            EXPECT_EQ(test::ReadFile(p.path), before) << "an unchanged text is not rewritten";
        }
    }
}

TEST(AdvPrefSheet, AddCleansRefusesAndSkipsDuplicatesWithoutCase) {
    Prefs p("\"HtmlFileExt\"=\"htm\"\r\n");
    CAdvPrefSheet sheet(*p.settings);
    Show(sheet);
    OpenFileTypes(sheet);
    auto* edit = Child<QLineEdit>(sheet, "extensionEdit");
    const struct {
        const char* typed;
        const char* added;    // the new last entry, or nullptr when none
        const char* boxAfter; // the box's text afterwards
        bool refused;         // message 3010 shown
    } cases[] = {
        {"HTM", nullptr, "", false},       {" .txt ", "txt", "", false},
        {".", nullptr, ".", false},        {"   ", nullptr, "   ", false},
        {"..Tar.gz", "Tar.gz", "", false}, {"a*b", nullptr, "a*b", true},
        {"x|y", nullptr, "x|y", true},     {".h:tm", nullptr, ".h:tm", true},
        {"TXT", nullptr, "", false},       {"php", "php", "", false},
    };
    QStringList expected = {"htm"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        edit->setText(QString::fromLatin1(c.typed));
        const QString message = MessageShownBy([&] { Click(sheet, "addButton"); });
        EXPECT_EQ(message,
                  c.refused ? QStringLiteral("The File Extension is invalid.") : QString());
        if (c.added != nullptr) {
            expected << QString::fromLatin1(c.added);
        }
        EXPECT_EQ(Entries(sheet), expected);
        EXPECT_EQ(edit->text(), QString::fromLatin1(c.boxAfter));
        // Nothing left to add: nothing happens at all. Otherwise the focus is
        // back in the box, for the next extension or to correct this one.
        const bool ignored = !c.refused && *c.boxAfter != '\0';
        if (!ignored) {
            QApplication::setActiveWindow(&sheet);
            EXPECT_EQ(QApplication::focusWidget(), edit);
        }
    }
    EXPECT_TRUE(Child<QPushButton>(sheet, "applyButton")->isEnabled());
    Click(sheet, "okButton");
    p.Exit();
    EXPECT_EQ(p.Stored("HtmlFileExt"), "sz:htm|txt|Targz|php");
}

TEST(AdvPrefSheet, RemoveDeletesEverySelectedEntryAndAnEmptyListStoresTheEmptyText) {
    Prefs p("\"HtmlFileExt\"=\"a|b|c|d|e\"\r\n");
    CAdvPrefSheet sheet(*p.settings);
    Show(sheet);
    OpenFileTypes(sheet);
    auto* list = Child<QListWidget>(sheet, "extensionList");
    auto* apply = Child<QPushButton>(sheet, "applyButton");

    // With nothing selected the page still counts as changed.
    list->clearSelection();
    Click(sheet, "removeButton");
    EXPECT_EQ(Entries(sheet), (QStringList{"a", "b", "c", "d", "e"}));
    EXPECT_TRUE(apply->isEnabled());
    Click(sheet, "applyButton");
    EXPECT_FALSE(apply->isEnabled());

    for (int row : {0, 2, 4}) {
        list->item(row)->setSelected(true);
    }
    Click(sheet, "removeButton");
    EXPECT_EQ(Entries(sheet), (QStringList{"b", "d"}));
    Click(sheet, "applyButton");
    EXPECT_EQ(p.settings->HtmlFileExt.Get(), "b|d");

    list->selectAll();
    Click(sheet, "removeButton");
    EXPECT_TRUE(Entries(sheet).isEmpty());
    Click(sheet, "okButton");
    p.Exit();
    EXPECT_EQ(p.Stored("HtmlFileExt"), "sz:");
    CAppSettings reread(p.path);
    EXPECT_FALSE(varnolt::IsExtensionInList(reread.HtmlFileExt.Get(), "htm"));
}

TEST(AdvPrefSheet, ApplyWritesCreatedPagesAndCancelWritesNothingMore) {
    Prefs p("\"NoHtmlComment\"=dword:00000000\r\n\"HtmlFileExt\"=\"htm\"\r\n");
    const std::string before = test::ReadFile(p.path);
    {
        // Cancel after changes on both pages: the file stays as it was.
        CAdvPrefSheet sheet(*p.settings);
        Show(sheet);
        ClickCheck(sheet);
        EXPECT_TRUE(Child<QPushButton>(sheet, "applyButton")->isEnabled());
        OpenFileTypes(sheet);
        Child<QLineEdit>(sheet, "extensionEdit")->setText(QStringLiteral("php"));
        Click(sheet, "addButton");
        Click(sheet, "cancelButton");
        EXPECT_FALSE(sheet.isVisible());
    }
    EXPECT_FALSE(p.settings->NoHtmlComment.Get());
    EXPECT_EQ(p.settings->HtmlFileExt.Get(), "htm");
    {
        // Apply writes at once and turns itself off; Escape later keeps it.
        CAdvPrefSheet sheet(*p.settings);
        Show(sheet);
        auto* check = Child<QCheckBox>(sheet, "generateCommentsCheck");
        EXPECT_TRUE(check->isChecked());
        ClickCheck(sheet);
        Click(sheet, "applyButton");
        EXPECT_TRUE(p.settings->NoHtmlComment.Get());
        EXPECT_FALSE(Child<QPushButton>(sheet, "applyButton")->isEnabled());
        ClickCheck(sheet);
        EXPECT_TRUE(check->isChecked());
        EXPECT_TRUE(Child<QPushButton>(sheet, "applyButton")->isEnabled());
        QTest::keyClick(&sheet, Qt::Key_Escape);
        EXPECT_FALSE(sheet.isVisible());
    }
    p.Exit();
    EXPECT_EQ(p.Stored("NoHtmlComment"), "dword:1");
    EXPECT_EQ(p.Stored("HtmlFileExt"), "sz:htm");
    EXPECT_NE(test::ReadFile(p.path), before);
}

TEST(AdvPrefSheet, APageNeverOpenedWritesNothing) {
    // Opened, this page would store the list as "htm|html".
    Prefs p("\"NoHtmlComment\"=dword:00000000\r\n\"HtmlFileExt\"=\".htm:.html\"\r\n");
    {
        CAdvPrefSheet sheet(*p.settings);
        Show(sheet);
        ClickCheck(sheet);
        Click(sheet, "okButton");
        EXPECT_FALSE(sheet.Page2()->IsCreated());
    }
    p.Exit();
    EXPECT_EQ(p.Stored("NoHtmlComment"), "dword:1");
    EXPECT_EQ(p.Stored("HtmlFileExt"), "sz:.htm:.html");
    EXPECT_NE(test::ReadFile(p.path).find("\"HtmlFileExt\"=\".htm:.html\"\r\n"), std::string::npos);
}

TEST(AdvPrefSheet, HelpAndF1OpenTheActivePagesTopic) {
    Prefs p;
    CHelpRecordingSheet sheet(*p.settings);
    Show(sheet);
    QTest::keyClick(Child<QCheckBox>(sheet, "generateCommentsCheck"), Qt::Key_F1);
    Click(sheet, "helpButton");
    OpenFileTypes(sheet);
    QTest::keyClick(Child<QLineEdit>(sheet, "extensionEdit"), Qt::Key_F1);
    QTest::keyClick(Child<QListWidget>(sheet, "extensionList"), Qt::Key_F1);
    Click(sheet, "helpButton");
    EXPECT_EQ(
        sheet.contexts,
        (std::vector<int>{varnolt::ui::kHelpPreferencesGeneral,
                          varnolt::ui::kHelpPreferencesGeneral, varnolt::ui::kHelpPreferencesHtml,
                          varnolt::ui::kHelpPreferencesHtml, varnolt::ui::kHelpPreferencesHtml}));
    EXPECT_TRUE(sheet.isVisible());
}

// The values set in the sheet opened from the main window's menu decide the
// next run: a .tpl file added to the list gets the meta tag without marker
// comments, and an .html file taken off the list is converted as plain text.
TEST(AdvPrefSheet, NextRunFromTheMainWindowUsesTheNewValues) {
    Prefs p("\"HtmlFileExt\"=\"htm|html\"\r\n");
    p.settings->OutputOption.Set(1);
    p.settings->PrependDest.Set("u8_");
    p.settings->Encoding.Set(0); // Windows-1252
    p.settings->UnicodeFormat.Set(2);
    p.settings->UTF8Option.Set(1);
    p.settings->AddBOM.Set(0);
    const std::string page = "<html><head><title>caf\xe9</title></head><body></body></html>";
    test::WriteFile(p.dir / "page.tpl", page);
    test::WriteFile(p.dir / "page.html", page);
    const std::string converted =
        "<html><head><title>caf\xc3\xa9</title></head><body></body></html>";

    varnolt::CSourceFileListDoc files;
    varnolt::ui::CVarnoltDlg dlg(*p.settings, files, {});
    dlg.show();
    bool sheetSeen = false;
    QObject context;
    test::AnswerModals(&context, [&](QWidget* w) {
        auto* sheet = qobject_cast<CAdvPrefSheet*>(w);
        if (sheet == nullptr) {
            return true;
        }
        sheetSeen = true;
        ClickCheck(*sheet);
        OpenFileTypes(*sheet);
        Child<QListWidget>(*sheet, "extensionList")->item(1)->setSelected(true);
        Click(*sheet, "removeButton");
        Child<QLineEdit>(*sheet, "extensionEdit")->setText(QStringLiteral(".tpl"));
        Click(*sheet, "addButton");
        Click(*sheet, "okButton");
        return false;
    });
    Child<QAction>(dlg, "preferencesAction")->trigger();
    EXPECT_TRUE(sheetSeen);
    EXPECT_EQ(p.settings->HtmlFileExt.Get(), "htm|tpl");

    dlg.AddFiles(
        {QString::fromStdString(p.dir / "page.tpl"), QString::fromStdString(p.dir / "page.html")});
    test::AnswerModals(&context, [](QWidget* w) {
        if (w->objectName() != QStringLiteral("resultDlg")) {
            return true;
        }
        w->findChild<QPushButton*>("closeButton")->click();
        return false;
    });
    dlg.OnConvert();
    const std::string tpl = test::ReadFile(p.dir / "u8_page.tpl");
    EXPECT_NE(tpl.find(varnolt::LoadString(5504)), std::string::npos) << tpl;
    EXPECT_EQ(tpl.find("Varnolt -->"), std::string::npos) << tpl;
    EXPECT_EQ(test::ReadFile(p.dir / "u8_page.html"), converted);
}
