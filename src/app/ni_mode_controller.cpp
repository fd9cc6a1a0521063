// Non-interactive controller.
#include "app/ni_mode_controller.hpp"

#include "app/exit_codes.hpp"
#include "app/run_validation.hpp"
#include "app/varnolt_app.hpp"
#include "convert/conversion_job.hpp"
#include "convert/log.hpp"
#include "output/overwrite_question.hpp"
#include "platform/console.hpp"
#include "settings/profile.hpp"
#include "settings/string_table.hpp"

#include <cstdio>
#include <vector>

namespace varnolt {
namespace {

constexpr int kProfileInvalidText = 3011;
constexpr int kDefaultLogPath = 5150;
constexpr int kConsoleOk = 7000;

// One line per finished file, in the order files finish.
class CConsoleLines : public IJobObserver {
public:
    void FileFinished(const std::string& path, int level) override {
        platform::WriteConsole({path, LoadString(kConsoleOk + level)});
    }
};

} // namespace

CNIModeController::CNIModeController(CVarnoltApp& app)
    : CControllerBase(&app.m_sourceFiles, 0, 0, std::string(), 0, false, false, false), m_app(app) {
}

bool CNIModeController::Validate() {
    ProfileRunOptions options;
    options.nCodePage = m_nCodePage;
    options.nOutputOption = m_nOutputOption;
    options.strOutputArg = m_strOutputArg;
    const std::int32_t code =
        ValidateRunOptions(static_cast<std::size_t>(m_pFileList->GetCount()), options);
    if (code != 0) {
        m_app.m_nExitCode = code;
        return false;
    }
    m_strOutputArg = options.strOutputArg; // the output folder, normalised
    return true;
}

bool CNIModeController::Run() {
    const CMyCmdLineInfo& cmd = m_app.m_cmdInfo;
    const bool consoleAttached =
        cmd.m_nConsolePid != -1 && platform::IsProcessAlive(cmd.m_nConsolePid);
    if (consoleAttached) {
        // A closed reader of our output must not end the run before the log.
        platform::IgnoreBrokenPipe();
    }

    if (cmd.m_strProfile.empty()) {
        m_app.m_nExitCode = kExitNoProfile;
        return false;
    }
    ProfileRunOptions profile;
    const ProfileStatus status = ReadForRun(cmd.m_strProfile, profile);
    if (status != ProfileStatus::Ok) {
        if (status == ProfileStatus::BadVersion) {
            const std::string_view text = LoadString(kProfileInvalidText);
            std::fwrite(text.data(), 1, text.size(), stderr);
            std::fputc('\n', stderr);
        }
        m_app.m_nExitCode = kExitBadProfile;
        return false;
    }
    m_nCodePage = profile.nCodePage;
    m_nOutputOption = profile.nOutputOption;
    m_strOutputArg = profile.strOutputArg;
    m_nUnicodeFormat = profile.nUnicodeFormat;
    m_bUtf8Meta = profile.bUtf8Meta && profile.nUnicodeFormat == kFormatUtf8;
    m_bEntityToUnicode = profile.bEntityToUnicode;
    m_bAddBOM = profile.bAddBOM;
    if (!Validate()) {
        return false;
    }

    ClearOverwriteAll();
    JobOptions options;
    options.nOverwriteRule = cmd.m_bOverwriteExisting ? kRuleOverwrite : kRuleSkip;
    CConsoleLines lines;
    RunConversionJob(*this, *m_app.m_pSettings, CLog::Instance(), options,
                     consoleAttached ? &lines : nullptr);
    if (consoleAttached) {
        platform::WriteConsole({"\n"});
    }

    const std::string logPath =
        cmd.m_strLogFile.empty() ? std::string(LoadString(kDefaultLogPath)) : cmd.m_strLogFile;
    CLog& log = CLog::Instance();
    std::vector<std::int64_t> order(static_cast<std::size_t>(log.GetCount()));
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = static_cast<std::int64_t>(i);
    }
    if (!log.Write(logPath, order, cmd.m_bAppendLog, *this)) {
        m_app.m_nExitCode = kExitLogNotWritten;
        return false;
    }
    switch (log.GetMaxLevel()) {
    case kLevelError:
        m_app.m_nExitCode = kExitFileFailed;
        return false;
    case kLevelWarning:
        m_app.m_nExitCode = kExitWarning;
        return false;
    default:
        return true;
    }
}

} // namespace varnolt
