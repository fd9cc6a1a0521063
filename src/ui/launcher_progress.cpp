// Launcher-entry progress on the session bus.
#include "ui/launcher_progress.hpp"

#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QVariantMap>
#include <algorithm>

namespace varnolt::ui {
namespace {

// Only a bus that is already running counts. Asking for the session bus
// without one would make libdbus try to autolaunch a daemon (through X11),
// which can stall the progress dialog and would reach no dock anyway.
bool SessionBusExists() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        return true;
    }
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(QDir(runtime).filePath(QStringLiteral("bus")));
}

} // namespace

CLauncherProgress::CLauncherProgress() {
    // Without a bus not even Qt's bus machinery is started.
    if (SessionBusExists()) {
        if (QDBusConnection bus = QDBusConnection::sessionBus(); bus.isConnected()) {
            m_connection = bus;
        }
    }
}

CLauncherProgress::CLauncherProgress(const QDBusConnection& connection) {
    if (connection.isConnected()) {
        m_connection = connection;
    }
}

void CLauncherProgress::SetProgress(int done, int total) {
    if (total <= 0) {
        return;
    }
    const int clamped = std::clamp(done, 0, total);
    m_dProgress = static_cast<double>(clamped) / static_cast<double>(total);
    Send(true);
}

void CLauncherProgress::SetError() {
    m_bError = true;
    Send(true);
}

void CLauncherProgress::Off() {
    m_bError = false;
    Send(false);
}

void CLauncherProgress::Send(bool visible) {
    if (!m_connection) {
        return;
    }
    QDBusMessage message =
        QDBusMessage::createSignal(QString::fromLatin1(kObjectPath),
                                   QString::fromLatin1(kInterface), QStringLiteral("Update"));
    QVariantMap properties;
    properties.insert(QStringLiteral("progress"), m_dProgress);
    properties.insert(QStringLiteral("progress-visible"), visible);
    properties.insert(QStringLiteral("urgent"), m_bError);
    message << QString::fromLatin1(kAppUri) << properties;
    // A signal is queued, never waited for: a slow or broken dock cannot
    // hold up the run's dialog.
    m_connection->send(message);
}

} // namespace varnolt::ui
