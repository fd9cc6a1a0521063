// The update check against a small HTTP server in the test process: which
// answers count, what the user is told, and what a click may open.
#include "app/source_file_list_doc.hpp"
#include "settings/app_settings.hpp"
#include "support/test_support.hpp"
#include "ui/support/modal_answers.hpp"
#include "ui/support/version_server.hpp"
#include "ui/update_check.hpp"
#include "ui/varnolt_dlg.hpp"

#include <QAction>
#include <QLabel>
#include <QTcpServer>
#include <gtest/gtest.h>
#include <optional>

namespace varnolt::ui {
namespace {

using namespace std::chrono_literals;

struct Outcome {
    QString strInstruction;
    QString strContent;
    std::optional<QUrl> opened;
};

// Runs the check; the answer it shows is read and answered with `button`.
Outcome Check(const QString& address, int button = 1, std::chrono::milliseconds timeout = 5000ms) {
    Outcome outcome;
    QObject owner;
    test::AnswerModals(&owner, [&](QWidget* dialog) {
        for (auto [name, text] : {std::pair{"taskMainInstruction", &outcome.strInstruction},
                                  std::pair{"taskContent", &outcome.strContent}}) {
            if (auto* label = dialog->findChild<QLabel*>(QString::fromLatin1(name))) {
                *text = label->text();
            }
        }
        test::AnswerTask(dialog, button);
        return false;
    });
    UpdateCheckHooks hooks;
    hooks.timeout = timeout;
    hooks.openUrl = [&](const QUrl& url) {
        outcome.opened = url;
        return true;
    };
    CheckForUpdates(address, nullptr, hooks);
    return outcome;
}

const QString kFailed = QStringLiteral("Unable to get the version information online!");
const QString kUpToDate = QStringLiteral("The software is up to date!");
const QString kNewer = QStringLiteral("A new version is available.");

TEST(UpdateCheck, AnswersOfTheServer) {
    const QByteArray padding(560, 'x');
    const struct {
        const char* what;
        QByteArray response;
        bool close;
        QString instruction;
        const char* opened; // by "Download Now"
    } cases[] = {
        {"same version", test::Http("200 OK", "VARNOLTUPDATECHECK|513|5.1.3|https://e.org/dl|"),
         true, kUpToDate, nullptr},
        {"older version", test::Http("200 OK", "VARNOLTUPDATECHECK|97|0.9.7|https://e.org/dl|"),
         true, kUpToDate, nullptr},
        {"newer version",
         test::Http("200 OK", "VARNOLTUPDATECHECK|514|5.1.4|https://e.org/dl?v=5.1.4|\r\n"), true,
         kNewer, "https://e.org/dl?v=5.1.4"},
        {"blanks around the token",
         test::Http("200 OK", " \t VARNOLTUPDATECHECK  |514|5.1.4|http://e.org/dl|"), true, kNewer,
         "http://e.org/dl"},
        {"token in lower case",
         test::Http("200 OK", "varnoltupdatecheck|514|5.1.4|https://e.org/dl|"), true, kFailed,
         nullptr},
        {"text before the token",
         test::Http("200 OK", "Version: VARNOLTUPDATECHECK|514|5.1.4|https://e.org/dl|"), true,
         kFailed, nullptr},
        {"not found", test::Http("404 Not Found", "VARNOLTUPDATECHECK|514|5.1.4|https://e.org/dl|"),
         true, kFailed, nullptr},
        {"server error",
         test::Http("500 Internal Server Error", "VARNOLTUPDATECHECK|513|x|https://e.org/|"), true,
         kFailed, nullptr},
        {"empty answer", test::Http("200 OK", ""), true, kFailed, nullptr},
        // 600 bytes, no length, never ending: the first 512 bytes decide
        {"endless answer of 600 bytes",
         "HTTP/1.1 200 OK\r\n\r\nVARNOLTUPDATECHECK|514|5.1.4|https://e.org/dl|" + padding, false,
         kNewer, "https://e.org/dl"},
        {"endless error page of 600 bytes",
         "HTTP/1.1 404 Not Found\r\n\r\nVARNOLTUPDATECHECK|514|5.1.4|https://e.org/dl|" + padding,
         false, kFailed, nullptr},
        // the address lies beyond byte 512, which is never read
        {"address after byte 512",
         test::Http("200 OK", "VARNOLTUPDATECHECK|514|" + padding + "|https://e.org/dl|"), true,
         kFailed, nullptr},
        // a newer version whose download address is not a web page
        {"file address",
         test::Http("200 OK", "VARNOLTUPDATECHECK|514|5.1.4|file:///usr/bin/xterm|"), true, kFailed,
         nullptr},
        {"script address",
         test::Http("200 OK", "VARNOLTUPDATECHECK|514|5.1.4|javascript:alert(1)|"), true, kFailed,
         nullptr},
        {"local path", test::Http("200 OK", "VARNOLTUPDATECHECK|514|5.1.4|/tmp/setup.sh|"), true,
         kFailed, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::CVersionServer server(c.response, c.close);
        const Outcome outcome = Check(server.Address());
        EXPECT_EQ(outcome.strInstruction, c.instruction);
        if (c.opened != nullptr) {
            EXPECT_EQ(outcome.strContent,
                      QStringLiteral("Varnolt Version 5.1.4 is available.  Click Download Now "
                                     "button to obtain the latest version."));
            ASSERT_TRUE(outcome.opened);
            EXPECT_EQ(outcome.opened->toString(), QString::fromLatin1(c.opened));
        } else {
            EXPECT_FALSE(outcome.opened);
        }
        EXPECT_TRUE(server.Request().startsWith("GET /en/download/varnolt_ver.txt HTTP/1.1\r\n"))
            << server.Request().toStdString();
    }
}

TEST(UpdateCheck, CancelOpensNothingAndTheRequestAsksForAFreshCopy) {
    test::CVersionServer server(
        test::Http("200 OK", "VARNOLTUPDATECHECK|600|6.0 beta|https://e.org/|"));
    const Outcome outcome = Check(server.Address(), 2);
    EXPECT_EQ(outcome.strInstruction, kNewer);
    EXPECT_TRUE(outcome.strContent.startsWith(QStringLiteral("Varnolt Version 6.0 beta is")));
    EXPECT_FALSE(outcome.opened);
    const QByteArray request = server.Request().toLower();
    EXPECT_TRUE(request.contains("\r\nuser-agent: varnoltupdatecheck\r\n"))
        << request.toStdString();
    EXPECT_TRUE(request.contains("\r\ncache-control: no-cache\r\n")) << request.toStdString();
}

TEST(UpdateCheck, NoAnswerIsAFailedCheck) {
    // A server that takes the request and never answers: the time-out ends it.
    {
        test::CVersionServer silent("");
        EXPECT_EQ(Check(silent.Address(), 1, 300ms).strInstruction, kFailed);
    }
    // Nobody listening.
    quint16 port = 0;
    {
        QTcpServer closed;
        ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
        port = closed.serverPort();
    }
    EXPECT_EQ(Check(QStringLiteral("http://127.0.0.1:%1/v.txt").arg(port)).strInstruction, kFailed);
    // Only http: and https: addresses are fetched, even from the setting.
    test::TempDir dir;
    test::WriteFile(dir / "v.txt", "VARNOLTUPDATECHECK|514|5.1.4|https://e.org/|");
    CUpdateCheck check;
    EXPECT_FALSE(
        check.Fetch(QUrl::fromLocalFile(QString::fromStdString(dir / "v.txt")).toString()));
    EXPECT_FALSE(check.Fetch(QStringLiteral("ftp://127.0.0.1/v.txt")));
    EXPECT_EQ(check.m_nVersion, -1);
}

TEST(UpdateCheck, FetchFillsTheFieldsAsTheyStand) {
    test::CVersionServer server(
        test::Http("200 OK", "VARNOLTUPDATECHECK| 514 | 5.1.4 |https://e.org/ |x"));
    CUpdateCheck check;
    ASSERT_TRUE(check.Fetch(server.Address()));
    EXPECT_EQ(check.m_nVersion, 514);
    EXPECT_EQ(check.m_strVersion, QStringLiteral(" 5.1.4 "));
    EXPECT_EQ(check.m_strDownloadUrl, QStringLiteral("https://e.org/ "));
    // A failed fetch leaves nothing of an earlier one behind.
    test::CVersionServer missing(test::Http("404 Not Found", ""));
    EXPECT_FALSE(check.Fetch(missing.Address()));
    EXPECT_EQ(check.m_nVersion, -1);
    EXPECT_TRUE(check.m_strDownloadUrl.isEmpty());
}

TEST(UpdateCheck, TheMenuEntryChecksTheAddressOfTheSettings) {
    test::TempDir dir;
    CAppSettings settings(dir / "settings.reg");
    EXPECT_TRUE(UpdateCheckAddress(settings).startsWith(QStringLiteral("https://")));
    EXPECT_EQ(UpdateCheckAddress(settings), QString::fromLatin1(kDefaultUpdateUrl));

    test::CVersionServer server(
        test::Http("200 OK", "VARNOLTUPDATECHECK|513|5.1.3|https://e.org/|"));
    settings.UpdateUrl.Set(server.Address().toStdString());
    EXPECT_EQ(UpdateCheckAddress(settings), server.Address());
    CSourceFileListDoc files;
    CVarnoltDlg dlg(settings, files, {});
    QString instruction;
    QObject owner;
    test::AnswerModals(&owner, [&](QWidget* dialog) {
        if (auto* label = dialog->findChild<QLabel*>(QStringLiteral("taskMainInstruction"))) {
            instruction = label->text();
        }
        test::AnswerTask(dialog, 1);
        return false;
    });
    auto* action = dlg.findChild<QAction*>(QStringLiteral("checkUpdatesAction"));
    ASSERT_NE(action, nullptr);
    action->trigger();
    EXPECT_EQ(instruction, kUpToDate);
    EXPECT_FALSE(server.Request().isEmpty());
}

} // namespace
} // namespace varnolt::ui
