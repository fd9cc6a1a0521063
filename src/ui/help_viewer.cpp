#include "ui/help_viewer.hpp"

#include "ui/task_dialog.hpp"

#include <QString>

namespace varnolt::ui {

// Until the help pages exist, say so instead of opening nothing.
void ShowHelpTopic(int context, QWidget* parent) {
    CTaskDialog dialog(parent);
    dialog.SetIcon(TaskDialogIcon::Information);
    dialog.SetMainInstruction(
        context == kHelpDefault
            ? QStringLiteral("The help is not built yet.")
            : QStringLiteral("The help topic %1 is not built yet.").arg(context));
    dialog.AddButton(1, QStringLiteral("OK"), true, true);
    dialog.DoModal();
}

} // namespace varnolt::ui
