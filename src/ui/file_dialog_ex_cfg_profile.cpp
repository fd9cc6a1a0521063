// The profile's save dialog.
#include "ui/file_dialog_ex_cfg_profile.hpp"

#include "settings/string_table.hpp"

namespace varnolt::ui {
namespace {

QString Text(int id) {
    const std::string_view text = LoadString(id);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

CFileDialogEx::Setup ProfileSetup() {
    CFileDialogEx::Setup setup;
    setup.clientId = QString::fromLatin1(CFileDialogExCfgProfile::kClientId);
    setup.filter = Text(111);
    setup.defaultExt = QStringLiteral("vnp");
    setup.checkText = Text(4019);
    setup.checkName = QStringLiteral("shortcutCheck");
    return setup;
}

} // namespace

CFileDialogExCfgProfile::CFileDialogExCfgProfile(CAppSettings& settings, QWidget* parent)
    : CFileDialogEx(settings, ProfileSetup(), parent) {
    setObjectName(QStringLiteral("fileDialogExCfgProfile"));
}

} // namespace varnolt::ui
