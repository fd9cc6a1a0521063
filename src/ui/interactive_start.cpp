// The interactive start: warning first, then the main window.
#include "ui/interactive_start.hpp"

#include "app/varnolt_app.hpp"
#include "ui/startup_warning.hpp"
#include "ui/varnolt_dlg.hpp"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

namespace varnolt::ui {

namespace {

bool HasValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

} // namespace

int RunInteractive(int& argc, char** argv, CVarnoltApp& app) {
    // Qt ends the process when it finds no display; say why and what to do
    // instead, before it gets the chance.
    if (!HasValue("DISPLAY") && !HasValue("WAYLAND_DISPLAY") && !HasValue("QT_QPA_PLATFORM")) {
        std::fputs("varnolt: no display to show the main window on (DISPLAY is not set); use -u "
                   "for a non-interactive run\n",
                   stderr);
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Varnolt"));
    RunMainWindow(app);
    return 0;
}

void RunMainWindow(CVarnoltApp& app) {
    ShowStartupWarning(*app.m_pSettings);
    CVarnoltDlg dialog(*app.m_pSettings, app.m_sourceFiles, app.m_cmdInfo.m_strProfile);
    dialog.exec();
}

} // namespace varnolt::ui
