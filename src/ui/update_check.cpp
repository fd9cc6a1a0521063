// The update check: one blocking HTTP(S) request, the version file parsed by
// the core's rules, and the three answers.
#include "ui/update_check.hpp"

#include "app/version_file.hpp"
#include "settings/app_settings.hpp"
#include "settings/string_table.hpp"
#include "ui/task_dialog.hpp"

#include <QApplication>
#include <QDesktopServices>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace varnolt::ui {
namespace {

constexpr int kMsgNewVersion = 4018;
// The running program's own number; anything above it is newer.
constexpr std::int32_t kOwnVersion = VARNOLT_VERSION_NUMBER;

bool IsWebUrl(const QUrl& url) {
    return url.isValid() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) &&
           !url.host().isEmpty();
}

// The system's proxy settings, except for this machine itself.
class CProxyFactory : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override {
        const QString host = query.peerHostName();
        if (host == QLatin1String("localhost") || QHostAddress(host).isLoopback()) {
            return {QNetworkProxy(QNetworkProxy::NoProxy)};
        }
        return systemProxyForQuery(query);
    }
};

// The wait cursor for as long as the check blocks the window.
class CWaitCursor {
public:
    CWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CWaitCursor() { QApplication::restoreOverrideCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

void ShowMessage(QWidget* parent, TaskDialogIcon icon, const QString& text) {
    CTaskDialog dialog(parent);
    dialog.SetIcon(icon);
    dialog.SetMainInstruction(text);
    dialog.AddButton(1, QStringLiteral("OK"), true, true);
    dialog.DoModal();
}

} // namespace

bool CUpdateCheck::Fetch(const QString& address) {
    m_nVersion = -1;
    m_strVersion.clear();
    m_strDownloadUrl.clear();
    const QUrl url(address);
    if (!IsWebUrl(url)) {
        return false;
    }
    CWaitCursor wait;

    QNetworkAccessManager manager;
    manager.setProxyFactory(new CProxyFactory); // the manager owns it
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("VarnoltUpdateCheck"));
    // Always the server's current answer, and nothing kept of it.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setRawHeader("Cache-Control", "no-cache");
    request.setRawHeader("Pragma", "no-cache");
    // A redirect may not downgrade https: to http:.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);

    QNetworkReply* reply = manager.get(request);
    // Qt buffers no more than the check reads, however much is sent.
    reply->setReadBufferSize(static_cast<qint64>(kVersionFileMaxBytes));
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        if (reply->bytesAvailable() >= static_cast<qint64>(kVersionFileMaxBytes)) {
            loop.quit();
        }
    });
    timer.start(m_timeout);
    // The window stays drawn but takes no input until the answer is in.
    loop.exec(QEventLoop::ExcludeUserInputEvents);

    const bool finished = reply->isFinished();
    const bool full = reply->bytesAvailable() >= static_cast<qint64>(kVersionFileMaxBytes);
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // An error page (404, 500) is not a version file, whatever it holds.
    const bool answered = (finished ? reply->error() == QNetworkReply::NoError : full) &&
                          status >= 200 && status < 300;
    const QByteArray bytes =
        answered ? reply->read(static_cast<qint64>(kVersionFileMaxBytes)) : QByteArray();
    reply->disconnect();
    reply->abort();
    delete reply;
    if (bytes.isEmpty()) {
        return false;
    }
    const std::optional<VersionFileInfo> info = ParseVersionFile(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    if (!info) {
        return false;
    }
    m_nVersion = info->nVersion;
    m_strVersion = QString::fromStdString(info->strVersion);
    m_strDownloadUrl = QString::fromStdString(info->strDownloadUrl);
    return true;
}

QString UpdateCheckAddress(CAppSettings& settings) {
    const std::string address = settings.UpdateUrl.Get();
    return QString::fromStdString(address.empty() ? std::string(kDefaultUpdateUrl) : address);
}

void CheckForUpdates(const QString& address, QWidget* parent, const UpdateCheckHooks& hooks) {
    CUpdateCheck check;
    check.SetTimeout(hooks.timeout);
    const bool fetched = check.Fetch(address);
    if (fetched && check.m_nVersion <= kOwnVersion) {
        ShowMessage(parent, TaskDialogIcon::Information,
                    QStringLiteral("The software is up to date!"));
        return;
    }
    const QUrl download(check.m_strDownloadUrl, QUrl::StrictMode);
    if (!fetched || !IsWebAddress(check.m_strDownloadUrl.toStdString()) || !IsWebUrl(download)) {
        ShowMessage(parent, TaskDialogIcon::Error,
                    QStringLiteral("Unable to get the version information online!"));
        return;
    }
    const std::string_view content = LoadString(kMsgNewVersion);
    CTaskDialog offer(parent);
    offer.SetIcon(TaskDialogIcon::Information);
    offer.SetMainInstruction(QStringLiteral("A new version is available."));
    offer.SetContent(QString::fromUtf8(content.data(), static_cast<qsizetype>(content.size()))
                         .arg(check.m_strVersion));
    offer.AddButton(1, QStringLiteral("Download Now"), true);
    offer.AddButton(2, QStringLiteral("Cancel"), false, true);
    if (offer.DoModal() != 1) {
        return;
    }
    if (hooks.openUrl) {
        hooks.openUrl(download);
    } else {
        QDesktopServices::openUrl(download);
    }
}

} // namespace varnolt::ui
