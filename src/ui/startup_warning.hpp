// The data-loss warning the interactive program shows at start-up until the
// user asks not to see it again.
#pragma once

class QWidget;

namespace varnolt {
class CAppSettings;
}

namespace varnolt::ui {

// Does nothing when `NoWarning` is set. Otherwise shows the warning as a task
// dialog with one OK button and a "Don't show again" box, and sets
// `NoWarning` when the user leaves it with the box ticked.
void ShowStartupWarning(CAppSettings& settings, QWidget* parent = nullptr);

} // namespace varnolt::ui
