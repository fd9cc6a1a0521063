// The log's save dialog.
#include "ui/file_dialog_ex_log.hpp"

#include "settings/string_table.hpp"

namespace varnolt::ui {
namespace {

QString Text(int id) {
    const std::string_view text = LoadString(id);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

CFileDialogEx::Setup LogSetup(const QString& initialPath, bool append) {
    CFileDialogEx::Setup setup;
    setup.clientId = QString::fromLatin1(CFileDialogExLog::kClientId);
    setup.filter = Text(104);
    setup.defaultExt = QStringLiteral("txt");
    setup.checkText = Text(4020);
    setup.checkName = QStringLiteral("appendCheck");
    setup.checked = append;
    setup.initialFile = initialPath;
    return setup;
}

} // namespace

CFileDialogExLog::CFileDialogExLog(CAppSettings& settings, const QString& initialPath, bool append,
                                   QWidget* parent)
    : CFileDialogEx(settings, LogSetup(initialPath, append), parent) {
    setObjectName(QStringLiteral("fileDialogExLog"));
}

} // namespace varnolt::ui
