// The dock entry's progress: the Update signals a listener on the bus sees
// for a run (progress, the error state after Abort, off at the end), and
// silence without a bus.
#include "app/source_file_list_doc.hpp"
#include "settings/app_settings.hpp"
#include "support/run_space.hpp"
#include "ui/conv_progress_dlg.hpp"
#include "ui/launcher_progress.hpp"
#include "ui/support/held_controller.hpp"
#include "ui/support/modal_answers.hpp"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <condition_variable>
#include <cstdlib>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <vector>

namespace varnolt::ui {
namespace {

using test::TempDir;
using test::WriteFile;

struct Update {
    double progress = -1;
    bool visible = false;
    bool urgent = false;
    bool operator==(const Update&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Update& u) {
    return os << "{" << u.progress << (u.visible ? " visible" : " hidden")
              << (u.urgent ? " urgent" : "") << "}";
}

// A private bus for one test, killed at its end.
class PrivateBus {
public:
    PrivateBus() {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
            return;
        }
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"),
                        QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted(5000)) {
            return;
        }
        QElapsedTimer clock;
        clock.start();
        while (!m_daemon.canReadLine() && clock.elapsed() < 5000) {
            m_daemon.waitForReadyRead(100);
        }
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus() {
        for (const QString& name : m_names) {
            QDBusConnection::disconnectFromBus(name);
        }
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.kill();
            m_daemon.waitForFinished(5000);
        }
    }
    const QString& Address() const { return m_address; }

    QDBusConnection Connect() {
        const QString name = QStringLiteral("launcher-test-%1").arg(s_nNext++);
        m_names.push_back(name);
        return QDBusConnection::connectToBus(m_address, name);
    }

private:
    QProcess m_daemon;
    QString m_address;
    std::vector<QString> m_names;
    static inline int s_nNext = 0;
};

// Records every launcher-entry Update on the bus, in order.
class Listener : public QObject {
    Q_OBJECT

public:
    explicit Listener(QDBusConnection connection) : m_connection(std::move(connection)) {
        m_bSubscribed = m_connection.connect(
            QString(), QString(), QString::fromLatin1(CLauncherProgress::kInterface),
            QStringLiteral("Update"), this, SLOT(OnUpdate(QDBusMessage)));
        // A call answered by the daemon: the subscription is in place before
        // anything is sent.
        m_connection.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.DBus"));
    }
    bool Subscribed() const { return m_bSubscribed; }
    const std::vector<Update>& Updates() const { return m_updates; }
    const std::vector<QString>& Uris() const { return m_uris; }

    // Waits until `count` updates have arrived, or a while.
    bool WaitFor(size_t count) {
        return QTest::qWaitFor([&] { return m_updates.size() >= count; }, 5000);
    }

    bool WaitUntilProgress(double progress) {
        return QTest::qWaitFor(
            [&] { return !m_updates.empty() && m_updates.back().progress == progress; }, 5000);
    }

public slots:
    void OnUpdate(const QDBusMessage& message) {
        const QList<QVariant> args = message.arguments();
        if (args.size() != 2) {
            m_updates.push_back({});
            return;
        }
        m_uris.push_back(args[0].toString());
        QVariantMap map = qdbus_cast<QVariantMap>(args[1]);
        Update update;
        update.progress = map.value(QStringLiteral("progress"), -1.0).toDouble();
        update.visible = map.value(QStringLiteral("progress-visible")).toBool();
        update.urgent = map.value(QStringLiteral("urgent")).toBool();
        if (message.path() != QString::fromLatin1(CLauncherProgress::kObjectPath) ||
            map.value(QStringLiteral("progress")).typeId() != QMetaType::Double) {
            update.progress = -2; // wrong path or type: never equal to an expectation
        }
        m_updates.push_back(update);
    }

private:
    QDBusConnection m_connection;
    bool m_bSubscribed = false;
    std::vector<Update> m_updates;
    std::vector<QString> m_uris;
};

#define REQUIRE_BUS(bus)                                                                           \
    if ((bus).Address().isEmpty()) {                                                               \
        GTEST_SKIP() << "dbus-daemon is not installed or did not start; "                          \
                        "install the dbus-daemon package";                                         \
    }

// Driven directly: fractions of the total (clamped), the error state kept by
// later progress, and off clears both.
TEST(LauncherProgress, SendsProgressErrorAndOffInOrder) {
    PrivateBus bus;
    REQUIRE_BUS(bus);
    Listener listener(bus.Connect());
    ASSERT_TRUE(listener.Subscribed());
    CLauncherProgress launcher(bus.Connect());
    ASSERT_TRUE(launcher.IsActive());

    launcher.SetProgress(0, 4);
    launcher.SetProgress(1, 4);
    launcher.SetProgress(9, 4); // more begun than counted: full, not past it
    launcher.SetProgress(1, 0); // no total: nothing to show, nothing sent
    launcher.SetError();
    launcher.SetProgress(4, 4);
    launcher.Off();

    const std::vector<Update> expected = {
        {0.0, true, false}, {0.25, true, false}, {1.0, true, false},
        {1.0, true, true},  {1.0, true, true},   {1.0, false, false},
    };
    listener.WaitFor(expected.size());
    QTest::qWait(50); // anything extra would arrive now
    EXPECT_EQ(listener.Updates(), expected);
    for (const QString& uri : listener.Uris()) {
        EXPECT_EQ(uri.toStdString(), CLauncherProgress::kAppUri);
    }
}

std::string Settings(const TempDir& dir) {
    const std::string path = dir / "settings.reg";
    WriteFile(path, "Windows Registry Editor Version 5.00\n\n"
                    "[HKEY_CURRENT_USER\\Software\\Brambleware\\Varnolt 5]\n"
                    "\"DisableMP\"=dword:00000001\n");
    return path;
}

// What a listener sees for a whole run through the progress dialog: empty at
// the start, files begun of total at the refresh, full at the end, off once
// the dialog is gone; with Abort, the error state from then on.
TEST(LauncherProgress, ProgressDialogReportsItsRun) {
    struct Case {
        const char* name;
        bool abort;
        std::vector<Update> expected;
    };
    // 3 files and the run's own step: 3 of 4 once they have begun.
    const std::vector<Case> cases = {
        {"completed",
         false,
         {{0.0, true, false}, {0.75, true, false}, {1.0, true, false}, {1.0, false, false}}},
        {"aborted",
         true,
         {{0.0, true, false},
          {0.75, true, false},
          {0.75, true, true},
          {1.0, true, true},
          {1.0, false, false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PrivateBus bus;
        REQUIRE_BUS(bus);
        Listener listener(bus.Connect());
        TempDir dir;
        CAppSettings settings(Settings(dir));
        CSourceFileListDoc doc;
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
            doc.AddFile(dir / name);
        }
        test::CHeldController controller(&doc, settings, 3);
        {
            CConvProgressDlg dlg(controller);
            dlg.SetLauncherProgress(CLauncherProgress(bus.Connect()));
            test::AnswerModals(&dlg, [&](QWidget* w) {
                if (w != &dlg) {
                    return true;
                }
                // Abort only once the refresh has shown all three files.
                listener.WaitUntilProgress(0.75);
                if (c.abort) {
                    QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("abortButton")),
                                      Qt::LeftButton);
                    listener.WaitFor(3);
                }
                controller.Release();
                return false;
            });
            dlg.exec();
        }
        listener.WaitFor(c.expected.size());
        QTest::qWait(50);
        // A refresh that fell between the three files begun may show one or
        // two of them first; that is as right as showing all three at once.
        std::vector<Update> seen = listener.Updates();
        std::erase_if(seen, [](const Update& u) {
            return u.progress > 0.0 && u.progress < 0.75 && !u.urgent;
        });
        EXPECT_EQ(seen, c.expected);
        CConvController::s_bCancelRequested.store(false);
    }
}

// Restores an environment variable when the test ends.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (m_old) {
            ::setenv(m_name, m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// No session bus (none named, none at the usual place) and a bus address
// that leads nowhere: nothing is sent, nothing is printed, and a run through
// the dialog ends as usual.
TEST(LauncherProgress, WithoutABusDoesNothing) {
    TempDir dir;
    ScopedEnv address("DBUS_SESSION_BUS_ADDRESS", nullptr);
    ScopedEnv runtime("XDG_RUNTIME_DIR", dir.Path().c_str());
    const std::string dead = "unix:path=" + (dir / "no-bus-here");

    testing::internal::CaptureStderr();
    CLauncherProgress fromSession;
    CLauncherProgress dead_bus(QDBusConnection::connectToBus(QString::fromStdString(dead),
                                                             QStringLiteral("launcher-dead")));
    for (CLauncherProgress* launcher : {&fromSession, &dead_bus}) {
        EXPECT_FALSE(launcher->IsActive());
        launcher->SetProgress(1, 2);
        launcher->SetError();
        launcher->Off();
    }

    CAppSettings settings(Settings(dir));
    CSourceFileListDoc doc;
    doc.AddFile(dir / "a.txt");
    test::CHeldController controller(&doc, settings, 1);
    bool finished = false;
    {
        CConvProgressDlg dlg(controller); // takes the session bus, of which there is none
        test::AnswerModals(&dlg, [&](QWidget* w) {
            if (w == &dlg) {
                controller.Release();
            }
            return w != &dlg;
        });
        finished = dlg.exec() == QDialog::Accepted;
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("launcher-dead"));
    // The offscreen test platform's own notice is not ours.
    std::string printed = testing::internal::GetCapturedStderr();
    const std::string platformNotice = "This plugin does not support propagateSizeHints()\n";
    for (size_t at; (at = printed.find(platformNotice)) != std::string::npos;) {
        printed.erase(at, platformNotice.size());
    }
    EXPECT_TRUE(finished);
    EXPECT_EQ(printed, "");
}

} // namespace
} // namespace varnolt::ui

#include "launcher_progress_test.moc"
