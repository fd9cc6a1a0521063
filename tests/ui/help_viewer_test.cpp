// The help window: every context number opens its topic with its heading in
// view, the pages' links all lead to a page and anchor that exist, one
// window serves every dialog (a modal one too) and outlives the dialogs, a
// missing help folder is named, and the main window's help entries and
// feedback mail.
#include "app/source_file_list_doc.hpp"
#include "settings/app_settings.hpp"
#include "settings/encoding_catalogue.hpp"
#include "support/modal_answers.hpp"
#include "support/test_support.hpp"
#include "ui/help_viewer.hpp"
#include "ui/varnolt_dlg.hpp"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>

namespace varnolt::ui {
namespace {

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The anchors of a page as the help window's browser parses them.
QStringList AnchorsOf(const QString& path) {
    QTextDocument document;
    document.setHtml(QString::fromUtf8(ReadBytes(path)));
    QStringList names;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            names += it.fragment().charFormat().anchorNames();
        }
    }
    return names;
}

QTextBlock BlockWithAnchor(QTextDocument* document, const QString& anchor) {
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().anchorNames().contains(anchor)) {
                return block;
            }
        }
    }
    return {};
}

QTextBlock FirstHeading(QTextDocument* document) {
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() > 0) {
            return block;
        }
    }
    return {};
}

QString ShownPage(CHelpWindow* window) {
    return QFileInfo(window->Browser()->source().toLocalFile()).fileName();
}

// Clicks through the window system, as a user does: a window that a modal
// dialog blocks never gets the click.
void ClickContentsRow(CHelpWindow* window, int row) {
    auto* contents = window->findChild<QListWidget*>(QStringLiteral("helpContents"));
    ASSERT_NE(contents, nullptr);
    ASSERT_NE(window->windowHandle(), nullptr);
    const QPoint at =
        contents->viewport()->mapTo(window, contents->visualItemRect(contents->item(row)).center());
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, at);
}

// Clicks the first link of the shown page that leads to `href`.
void ClickLink(QTextBrowser* browser, const QString& href) {
    QTextDocument* document = browser->document();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().anchorHref() != href) {
                continue;
            }
            QTextCursor cursor(document);
            cursor.setPosition(it.fragment().position() + 1);
            browser->setTextCursor(cursor);
            browser->ensureCursorVisible();
            QTest::mouseClick(browser->viewport(), Qt::LeftButton, {},
                              browser->cursorRect(cursor).center() - QPoint(2, 0));
            return;
        }
    }
    ADD_FAILURE() << "no link to " << href.toStdString();
}

// Each test starts without a help window and deletes the one it made.
// Without the pages every request would wait for the user to close the
// message that names the folder: fail at once instead.
bool PagesAreThere() {
    return QFileInfo(HelpFolder() + QStringLiteral("/index.html")).isFile();
}

class HelpViewer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(PagesAreThere()) << HelpFolder().toStdString();
        delete ExistingHelpWindow();
    }
    void TearDown() override { delete ExistingHelpWindow(); }
};

TEST_F(HelpViewer, EachContextOpensItsPageWithItsHeadingInView) {
    const struct {
        int context;
        const char* page;
        const char* heading;
    } cases[] = {
        {kHelpDefault, "index.html", "Getting started with Varnolt"},
        {kHelpOutputOptions, "output-options.html", "Output options"},
        {kHelpFindFiles, "find-files.html", "Find files and saved searches"},
        {kHelpCodec, "codec.html", "The Unicode codec tool"},
        {kHelpPreferencesGeneral, "preferences.html", "HTML Comments"},
        {kHelpPreferencesHtml, "preferences.html", "File Types"},
        {4711, "index.html", "Getting started with Varnolt"},
    };
    QWidget owner;
    owner.show();
    ShowHelpTopic(kHelpDefault, &owner);
    CHelpWindow* window = ExistingHelpWindow();
    ASSERT_NE(window, nullptr);
    // Small enough that every page scrolls, so a heading further down is
    // in view only when the window went to it.
    window->resize(640, 320);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.context);
        // Start each topic from somewhere else, as a user would.
        window->Browser()->verticalScrollBar()->setValue(
            window->Browser()->verticalScrollBar()->maximum());
        ShowHelpTopic(c.context, &owner);
        QApplication::processEvents();
        EXPECT_EQ(ExistingHelpWindow(), window);
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(ShownPage(window), QString::fromLatin1(c.page));

        QTextDocument* document = window->Browser()->document();
        const QString anchor = QString::fromLatin1(FindHelpTopic(c.context).pszAnchor);
        const QTextBlock heading =
            anchor.isEmpty() ? FirstHeading(document) : BlockWithAnchor(document, anchor);
        ASSERT_TRUE(heading.isValid()) << anchor.toStdString();
        EXPECT_GT(heading.blockFormat().headingLevel(), 0);
        EXPECT_EQ(heading.text().trimmed(), QString::fromLatin1(c.heading));

        const QScrollBar* bar = window->Browser()->verticalScrollBar();
        ASSERT_GT(bar->maximum(), 0) << "the page does not scroll in this window";
        const int top = static_cast<int>(
            document->documentLayout()->blockBoundingRect(heading).top() - bar->value());
        const int viewport = window->Browser()->viewport()->height();
        if (anchor.isEmpty()) {
            // A page's own topic starts at the top of the page.
            EXPECT_EQ(bar->value(), 0);
            EXPECT_LT(top, viewport);
        } else if (bar->value() < bar->maximum()) {
            // Scrolled to the heading: it is at the top of the view.
            EXPECT_LE(std::abs(top), 24) << "heading at " << top;
        } else {
            EXPECT_GE(top, 0);
            EXPECT_LT(top, viewport);
        }
    }
}

TEST_F(HelpViewer, BackForwardHomeAndTheContentsFollowThePages) {
    ShowHelpTopic(kHelpDefault, nullptr);
    CHelpWindow* window = ExistingHelpWindow();
    ASSERT_NE(window, nullptr);
    auto* back = window->findChild<QAction*>(QStringLiteral("helpBackAction"));
    auto* forward = window->findChild<QAction*>(QStringLiteral("helpForwardAction"));
    auto* home = window->findChild<QAction*>(QStringLiteral("helpHomeAction"));
    auto* contents = window->findChild<QListWidget*>(QStringLiteral("helpContents"));
    ASSERT_TRUE(back && forward && home && contents);
    EXPECT_FALSE(back->isEnabled());
    EXPECT_FALSE(forward->isEnabled());

    // One entry per page, named by the page's title, never by its file.
    ASSERT_EQ(contents->count(), static_cast<int>(HelpPages().size()));
    for (int i = 0; i < contents->count(); ++i) {
        EXPECT_FALSE(contents->item(i)->text().endsWith(QStringLiteral(".html")))
            << contents->item(i)->text().toStdString();
    }
    EXPECT_EQ(contents->currentRow(), 0);

    ClickContentsRow(window, 3);
    EXPECT_EQ(ShownPage(window), QString::fromLatin1(HelpPages()[3]));
    EXPECT_EQ(contents->currentRow(), 3);
    EXPECT_EQ(window->Browser()->documentTitle(), contents->item(3)->text());
    EXPECT_TRUE(back->isEnabled());

    back->trigger();
    EXPECT_EQ(ShownPage(window), QStringLiteral("index.html"));
    EXPECT_EQ(contents->currentRow(), 0);
    EXPECT_TRUE(forward->isEnabled());
    forward->trigger();
    EXPECT_EQ(ShownPage(window), QString::fromLatin1(HelpPages()[3]));

    // A link clicked in a page leads to the page and anchor it names.
    ClickLink(window->Browser(), QStringLiteral("output-options.html#prefix-rules"));
    EXPECT_EQ(ShownPage(window), QStringLiteral("output-options.html"));
    EXPECT_EQ(window->Browser()->source().fragment(), QStringLiteral("prefix-rules"));
    EXPECT_EQ(contents->currentRow(), 2);

    home->trigger();
    EXPECT_EQ(ShownPage(window), QStringLiteral("index.html"));
    EXPECT_EQ(window->Browser()->verticalScrollBar()->value(), 0);

    // The default topic asked for again after scrolling returns to the top.
    window->resize(640, 320);
    QApplication::processEvents();
    window->Browser()->verticalScrollBar()->setValue(200);
    ShowHelpTopic(kHelpDefault, nullptr);
    EXPECT_EQ(window->Browser()->verticalScrollBar()->value(), 0);

    QTest::keyClick(window->Browser(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(ExistingHelpWindow(), window) << "Escape hides the window, it stays for later";
}

TEST_F(HelpViewer, WorksAboveAModalDialogAndOutlivesIt) {
    QWidget main;
    main.show();
    ShowHelpTopic(kHelpDefault, &main);
    CHelpWindow* help = ExistingHelpWindow();
    ASSERT_NE(help, nullptr);

    auto* dialog = new QDialog(&main);
    bool asked = false;
    QTimer::singleShot(0, dialog, [&] {
        asked = true;
        ShowHelpTopic(kHelpPreferencesHtml, dialog);
        EXPECT_EQ(ExistingHelpWindow(), help) << "one help window for every dialog";
        EXPECT_EQ(ShownPage(help), QStringLiteral("preferences.html"));
        // While the dialog is modal, the help window still takes clicks.
        ClickContentsRow(help, 1);
        EXPECT_EQ(ShownPage(help), QString::fromLatin1(HelpPages()[1]));
        dialog->reject();
    });
    dialog->exec();
    EXPECT_TRUE(asked);
    delete dialog;

    ASSERT_EQ(ExistingHelpWindow(), help) << "deleted with the dialog that asked";
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->parentWidget(), &main);
    ClickContentsRow(help, 0);
    EXPECT_EQ(ShownPage(help), QStringLiteral("index.html"));
}

TEST_F(HelpViewer, AMissingFolderOrPageIsNamedAndOpensNoWindow) {
    test::TempDir dir;
    const QString cases[] = {QString::fromStdString(dir / "no such folder"),
                             QString::fromStdString(dir.Path())};
    for (const QString& folder : cases) {
        SCOPED_TRACE(folder.toStdString());
        QObject guard;
        QString instruction;
        QString content;
        test::AnswerModals(&guard, [&](QWidget* modal) {
            if (auto* label = modal->findChild<QLabel*>(QStringLiteral("taskMainInstruction"))) {
                instruction = label->text();
            }
            if (auto* label = modal->findChild<QLabel*>(QStringLiteral("taskContent"))) {
                content = label->text();
            }
            test::AnswerTask(modal, 1);
            return false;
        });
        ShowHelpTopicIn(folder, kHelpCodec, nullptr);
        EXPECT_EQ(instruction, QStringLiteral("The help pages cannot be found."));
        EXPECT_TRUE(content.contains(QStringLiteral("\"") + folder + QStringLiteral("\"")))
            << content.toStdString();
        EXPECT_EQ(ExistingHelpWindow(), nullptr);
    }
}

TEST_F(HelpViewer, TheMainWindowOpensItsTopicsAndTheFeedbackMail) {
    test::TempDir dir;
    CAppSettings settings(dir / "settings.reg");
    CSourceFileListDoc files;
    CVarnoltDlg dlg(settings, files, {});
    dlg.show();
    QApplication::setActiveWindow(&dlg);

    const struct {
        const char* what;
        std::function<void()> act;
        int context;
    } cases[] = {
        {"F1",
         [&] {
             dlg.findChild<QWidget*>(QStringLiteral("destPrefixEdit"))->setFocus();
             QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
         },
         kHelpDefault},
        {"Help button",
         [&] {
             QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("helpButton")),
                               Qt::LeftButton);
         },
         kHelpDefault},
        {"Help > Contents",
         [&] { dlg.findChild<QAction*>(QStringLiteral("helpContentsAction"))->trigger(); },
         kHelpDefault},
        {"question mark of the output options",
         [&] {
             QTest::mouseClick(dlg.findChild<QLabel*>(QStringLiteral("outputHelpLabel")),
                               Qt::LeftButton);
         },
         kHelpOutputOptions},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        delete ExistingHelpWindow();
        QApplication::setActiveWindow(&dlg);
        c.act();
        CHelpWindow* help = ExistingHelpWindow();
        ASSERT_NE(help, nullptr);
        EXPECT_TRUE(help->isVisible());
        const HelpTopic& topic = FindHelpTopic(c.context);
        EXPECT_EQ(ShownPage(help), QString::fromLatin1(topic.pszPage));
        EXPECT_EQ(help->Browser()->source().fragment(), QString::fromLatin1(topic.pszAnchor));
    }

    QList<QUrl> opened;
    dlg.SetUrlOpener([&](const QUrl& url) {
        opened.append(url);
        return true;
    });
    auto* feedback = dlg.findChild<QAction*>(QStringLiteral("feedbackAction"));
    ASSERT_NE(feedback, nullptr);
    EXPECT_EQ(feedback->text(), QStringLiteral("Send &Question/Feedback"));
    feedback->trigger();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.front(), QUrl(QStringLiteral("mailto:support@varnolt.example.org")));

    // Without a mail program the user learns the address to write to.
    dlg.SetUrlOpener([](const QUrl&) { return false; });
    QObject guard;
    QString message;
    test::AnswerModals(&guard, [&](QWidget* modal) {
        if (auto* label = modal->findChild<QLabel*>(QStringLiteral("taskMainInstruction"))) {
            message = label->text();
        }
        test::AnswerTask(modal, 1);
        return false;
    });
    feedback->trigger();
    EXPECT_TRUE(message.contains(QStringLiteral("support@varnolt.example.org")))
        << message.toStdString();
}

// Parses every page as the help window does: every link leads to a file of
// the help folder, every anchor it names is in that page, every page is in
// the contents, and every context number's topic exists.
TEST(HelpPages, EveryLinkAndTopicLeadsToAPageAndAnchorThatExist) {
    const QDir folder(HelpFolder());
    ASSERT_TRUE(folder.exists()) << folder.path().toStdString();
    QStringList pages = folder.entryList({QStringLiteral("*.html")}, QDir::Files);
    QStringList contents;
    for (const char* page : HelpPages()) {
        contents.append(QString::fromLatin1(page));
    }
    pages.sort();
    contents.sort();
    EXPECT_EQ(pages, contents) << "a page is missing from the contents or from the folder";

    QStringList problems;
    for (const HelpTopic& topic : HelpTopics()) {
        const QString page = folder.filePath(QString::fromLatin1(topic.pszPage));
        if (!QFileInfo(page).isFile()) {
            problems += QStringLiteral("topic %1: no page %2").arg(topic.nContext).arg(page);
        } else if (*topic.pszAnchor != '\0' &&
                   !AnchorsOf(page).contains(QString::fromLatin1(topic.pszAnchor))) {
            problems += QStringLiteral("topic %1: no anchor %2")
                            .arg(topic.nContext)
                            .arg(QString::fromLatin1(topic.pszAnchor));
        }
    }

    const QRegularExpression reference(QStringLiteral(R"re((?:href|src)\s*=\s*"([^"]*)")re"),
                                       QRegularExpression::CaseInsensitiveOption);
    const QRegularExpression scheme(QStringLiteral(R"(^[a-zA-Z][a-zA-Z0-9+.-]*:)"));
    int links = 0;
    for (const QString& page : pages) {
        const QString text = QString::fromUtf8(ReadBytes(folder.filePath(page)));
        for (auto it = reference.globalMatch(text); it.hasNext();) {
            const QString target = it.next().captured(1);
            ++links;
            const QString where = page + QStringLiteral(": ") + target;
            if (scheme.match(target).hasMatch()) {
                // Outside addresses are opened by the desktop; only these.
                if (!target.startsWith(QStringLiteral("mailto:")) &&
                    !target.startsWith(QStringLiteral("https:"))) {
                    problems += where + QStringLiteral(" (not a page of the help)");
                }
                continue;
            }
            const qsizetype hash = target.indexOf(QLatin1Char('#'));
            const QString file = hash < 0 ? target : target.left(hash);
            const QString anchor = hash < 0 ? QString() : target.mid(hash + 1);
            const QString path = folder.filePath(file.isEmpty() ? page : file);
            if (file.contains(QLatin1Char('/')) || !QFileInfo(path).isFile()) {
                problems += where + QStringLiteral(" (no such file in the help folder)");
            } else if (!anchor.isEmpty() && !AnchorsOf(path).contains(anchor)) {
                problems += where + QStringLiteral(" (no such anchor)");
            }
        }
    }
    EXPECT_GT(links, 0);
    EXPECT_TRUE(problems.isEmpty()) << problems.join(QLatin1Char('\n')).toStdString();
}

// The browser reads a stylesheet only from a link it accepts; a page that
// lost it shows its headings in the body text's colour.
TEST(HelpPages, EveryPageTakesTheStylesheet) {
    const QDir folder(HelpFolder());
    QTextBrowser browser;
    for (const char* page : HelpPages()) {
        SCOPED_TRACE(page);
        browser.setSource(QUrl::fromLocalFile(folder.filePath(QString::fromLatin1(page))));
        const QTextBlock heading = FirstHeading(browser.document());
        ASSERT_TRUE(heading.isValid());
        const QTextCharFormat format = heading.begin().fragment().charFormat();
        EXPECT_EQ(format.foreground().style(), Qt::SolidPattern);
        EXPECT_NE(format.foreground().color(), browser.palette().color(QPalette::Text));
    }
}

// The manual's table of source encodings is the program's list, in its order.
TEST(HelpPages, TheEncodingTableIsTheProgramsList) {
    const QString text = QString::fromUtf8(
        ReadBytes(QDir(HelpFolder()).filePath(QStringLiteral("main-window.html"))));
    const qsizetype start = text.indexOf(QStringLiteral("id=\"encodings\""));
    ASSERT_GE(start, 0);
    const QRegularExpression row(QStringLiteral(R"re(<tr><td>([^<]*)</td><td>(\d+)</td></tr>)re"));
    int i = 0;
    for (auto it = row.globalMatch(text, start); it.hasNext(); ++i) {
        const auto match = it.next();
        ASSERT_LT(i, EncodingCatalogue::Count()) << "more rows than encodings";
        const EncodingEntry& entry = EncodingCatalogue::Entry(i);
        EXPECT_EQ(match.captured(1).toStdString(), entry.strName);
        EXPECT_EQ(match.captured(2).toInt(), entry.nCodePage) << entry.strName;
    }
    EXPECT_EQ(i, EncodingCatalogue::Count());
}

TEST(HelpPages, TheBuildFolderHoldsTheCurrentPages) {
    const QDir source(QStringLiteral(VARNOLT_SOURCE_DIR "/help"));
    const QDir built(HelpFolder());
    const QStringList sourceFiles = source.entryList(QDir::Files, QDir::Name);
    ASSERT_FALSE(sourceFiles.isEmpty());
    EXPECT_EQ(built.entryList(QDir::Files, QDir::Name), sourceFiles);
    for (const QString& name : sourceFiles) {
        EXPECT_EQ(ReadBytes(built.filePath(name)), ReadBytes(source.filePath(name)))
            << name.toStdString() << " is stale in " << built.path().toStdString();
    }
}

// Also run by the install test from the installed bin folder: the pages are
// found beside the program, wherever it lives.
TEST(HelpInstalled, OpensThePagesBesideTheProgram) {
    EXPECT_EQ(HelpFolder(), QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                            QStringLiteral("/../share/varnolt/help")));
    ASSERT_TRUE(PagesAreThere()) << HelpFolder().toStdString();
    QWidget owner;
    ShowHelpTopic(kHelpOutputOptions, &owner);
    CHelpWindow* window = ExistingHelpWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->Browser()->source().toLocalFile(),
              HelpFolder() + QStringLiteral("/output-options.html"));
    EXPECT_EQ(window->Browser()->documentTitle(), QStringLiteral("Output options"));
    EXPECT_TRUE(window->Browser()->toPlainText().contains(QStringLiteral("_org_report.txt")));
}

} // namespace
} // namespace varnolt::ui
