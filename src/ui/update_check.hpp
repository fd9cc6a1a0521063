// "Check for Updates...": fetching the published version file over HTTP(S)
// and telling the user whether a newer version exists.
#pragma once

#include <QString>
#include <QUrl>
#include <chrono>
#include <cstdint>
#include <functional>

class QWidget;

namespace varnolt {
class CAppSettings;
}

namespace varnolt::ui {

class CUpdateCheck {
public:
    CUpdateCheck() = default;
    virtual ~CUpdateCheck() = default;
    CUpdateCheck(const CUpdateCheck&) = delete;
    CUpdateCheck& operator=(const CUpdateCheck&) = delete;

    // Fetches the version file at `address` (http: or https: only), with the
    // wait cursor, blocking the window until the answer or the time-out. At
    // most 512 bytes of the answer are read. True when an answer with a
    // success status began with the version file's token; the fields are
    // then filled.
    virtual bool Fetch(const QString& address);

    // The whole fetch, connecting included, gives up after this long.
    void SetTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

    QString m_strVersion;
    QString m_strDownloadUrl;
    std::int32_t m_nVersion = -1;

private:
    std::chrono::milliseconds m_timeout{10000};
};

// The address of the version file: the setting, or the built-in one.
QString UpdateCheckAddress(CAppSettings& settings);

// What the menu command does: fetch, then one of three answers owned by
// `parent` (the check failed; up to date; a newer version, offering to open
// its download page through `openUrl`). A download address that is not an
// http: or https: URL is a failed check: the answer must not make a click
// open a local file or a script.
struct UpdateCheckHooks {
    std::chrono::milliseconds timeout{10000};
    std::function<bool(const QUrl&)> openUrl; // empty: the desktop's browser
};
void CheckForUpdates(const QString& address, QWidget* parent, const UpdateCheckHooks& hooks = {});

} // namespace varnolt::ui
