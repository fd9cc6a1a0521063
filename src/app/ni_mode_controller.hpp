// The non-interactive run (-u): profile, checks, the conversion job with one
// console line per file, the log file and the exit code.
#pragma once

#include "app/cmd_line_info.hpp"
#include "convert/controller_base.hpp"

#include <cstdint>
#include <functional>

namespace varnolt {

class CLog;

// Converts every file of `run`'s list into `log` with the given overwrite
// rule; when `console` is true it writes one line per finished file through
// platform::WriteConsole. The conversion job of the convert layer fits here;
// tests give a stand-in.
using ConversionJob =
    std::function<void(const CControllerBase& run, int overwriteRule, bool console)>;

class CNIModeController : public CControllerBase {
public:
    // Run options start empty and are filled from the profile by Run.
    CNIModeController(const ISourceFileList& files, const CMyCmdLineInfo& cmdInfo, CLog& log,
                      ConversionJob job);
    ~CNIModeController() override;

    // The whole run. True when the log was written and every file ended OK;
    // the outcome for the process is m_nExitCode (0, 16, 160 or a failure
    // code: 132, 140, 142-150, 155).
    bool Run();

    // The checks before converting (exit codes 142-150); on failure sets
    // m_nExitCode and returns false. Normalises the output folder in place.
    bool Validate();

    std::int32_t m_nExitCode = 0;
    // Whether a live console process was named with -p; only then are
    // console lines written.
    bool m_bConsoleAttached = false;

private:
    bool LogPathHoldsAnOriginal(const std::string& logPath) const;

    const CMyCmdLineInfo& m_cmdInfo;
    CLog& m_log;
    ConversionJob m_job;
};

} // namespace varnolt
