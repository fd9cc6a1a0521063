// The application object: start-up, mode choice and the process exit code.
#pragma once

#include "app/cmd_line_info.hpp"
#include "app/source_file_list_doc.hpp"
#include "platform/stop_signals.hpp"
#include "settings/app_settings.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace varnolt {

class CControllerBase;

class CVarnoltApp {
public:
    // settingsPath empty: the per-user settings file.
    CVarnoltApp(int argc, const char* const* argv, std::string settingsPath = {});
    ~CVarnoltApp();

    // The whole run; always false (no message loop follows).
    bool InitInstance();
    // What runs the interactive mode (warning and main window) and gives its
    // exit code. The program that links the GUI sets it; without one the
    // interactive mode says that it is not available.
    std::function<int(CVarnoltApp&)> m_pfnRunInteractive;
    // The process exit code: m_nExitCode (in interactive mode 0 unless the
    // window could not be shown);
    // 128 + the signal when a stop signal (SIGINT, SIGTERM, SIGHUP) came.
    int ExitInstance();

    // The document comes first: the command line fills it while parsing.
    CSourceFileListDoc m_sourceFiles;
    CMyCmdLineInfo m_cmdInfo;
    std::unique_ptr<CAppSettings> m_pSettings;
    CControllerBase* m_pController = nullptr;
    std::int32_t m_nExitCode = 0;

private:
    // A -u run stops cleanly on a stop signal, up to the settings written at exit.
    std::unique_ptr<platform::CStopSignalGuard> m_pStopGuard;
    int m_nArgc;
    const char* const* m_pArgv;
    std::string m_strSettingsPath;
};

} // namespace varnolt
