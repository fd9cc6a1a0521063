// The interactive start of the main program: the application object of Qt,
// the start-up warning and the main window. Only this path touches Qt, so a
// -u run needs no display.
#pragma once

namespace varnolt {
class CVarnoltApp;
}

namespace varnolt::ui {

// Runs the interactive program for an application object whose command line
// is parsed; `argc` and `argv` are the process's own, which Qt keeps. Gives
// the exit code: 0, or 1 when there is no display to show the window on.
int RunInteractive(int& argc, char** argv, CVarnoltApp& app);

// The part that needs a QApplication: the start-up warning unless the user
// turned it off, then the main window with the command line's profile and
// files, until it closes.
void RunMainWindow(CVarnoltApp& app);

} // namespace varnolt::ui
