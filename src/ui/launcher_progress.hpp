// Progress of a run on the program's dock or taskbar entry. Docks of the
// usual Linux desktops listen on the user's session bus for the launcher
// entry's Update signal; without such a bus the class does nothing at all.
#pragma once

#include <QDBusConnection>
#include <QString>
#include <optional>

namespace varnolt::ui {

class CLauncherProgress {
public:
    // The user's session bus, when one exists. No bus is started for us:
    // a dock could only be listening on a bus that is already there.
    CLauncherProgress();
    // A given connection (a private bus in tests); disconnected means none.
    explicit CLauncherProgress(const QDBusConnection& connection);

    // Whether signals go anywhere at all.
    bool IsActive() const { return m_connection.has_value(); }

    // `done` of `total`, shown as a fraction; keeps the error state once set.
    void SetProgress(int done, int total);
    // The run was aborted: the entry asks for attention until switched off.
    void SetError();
    // The entry shows no progress any more.
    void Off();

    // The desktop entry the docks match the signal to.
    static constexpr const char* kAppUri = "application://varnolt.desktop";
    static constexpr const char* kObjectPath = "/com/varnolt/LauncherEntry";
    static constexpr const char* kInterface = "com.canonical.Unity.LauncherEntry";

private:
    void Send(bool visible);

    std::optional<QDBusConnection> m_connection; // only a connected one
    bool m_bError = false;
    double m_dProgress = 0.0;
};

} // namespace varnolt::ui
