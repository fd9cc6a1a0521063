// The start-up data-loss warning (see startup_warning.hpp).
#include "ui/startup_warning.hpp"

#include "settings/app_settings.hpp"
#include "ui/task_dialog.hpp"

namespace varnolt::ui {

namespace {
constexpr int kOkId = 1;
}

void ShowStartupWarning(CAppSettings& settings, QWidget* parent) {
    if (settings.NoWarning.Get())
        return;
    CTaskDialog dlg(parent);
    dlg.SetCaption(QStringLiteral("Varnolt"));
    dlg.SetIcon(TaskDialogIcon::Warning);
    dlg.SetMainInstruction(QStringLiteral("Warning!!"));
    dlg.SetContent(QStringLiteral(
        "Before you understand how Varnolt works, please use dummy files or extra copies "
        "of your data files to test and evaluate Varnolt.  Improper use of Varnolt may "
        "result loss of data."));
    // The only button and no cancel: the warning is acknowledged, never
    // dismissed unread by Escape or the close box.
    dlg.AddButton(kOkId, QStringLiteral("OK"), /*isDefault=*/true);
    dlg.SetVerification(QStringLiteral("Don't show again"), /*checked=*/false);
    dlg.DoModal();
    if (dlg.IsVerificationChecked())
        settings.NoWarning.Set(true);
}

} // namespace varnolt::ui
