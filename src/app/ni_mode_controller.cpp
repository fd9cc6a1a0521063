// CNIModeController: the steps of a non-interactive run around the job.
#include "app/ni_mode_controller.hpp"

#include "app/exit_codes.hpp"
#include "app/run_validation.hpp"
#include "convert/log.hpp"
#include "output/output_options.hpp"
#include "platform/console.hpp"
#include "settings/profile.hpp"
#include "settings/string_table.hpp"

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <vector>

namespace varnolt {
namespace {

constexpr int kMsgProfileInvalid = 3011;
constexpr int kMsgDefaultLogPath = 5150;

} // namespace

CNIModeController::CNIModeController(const ISourceFileList& files, const CMyCmdLineInfo& cmdInfo,
                                     CLog& log, ConversionJob job)
    : CControllerBase(&files, 0, 0, {}, 0, false, false, false), m_cmdInfo(cmdInfo), m_log(log),
      m_job(std::move(job)) {}

CNIModeController::~CNIModeController() = default;

bool CNIModeController::Run() {
    // The child shares the caller's console: "attaching" means the process
    // named by -p is alive; its standard output is ours already.
    m_bConsoleAttached =
        m_cmdInfo.m_nConsolePid != -1 && platform::IsProcessAlive(m_cmdInfo.m_nConsolePid);
    if (m_bConsoleAttached) {
        platform::IgnoreBrokenPipe(); // a closed console must not end the run
    }

    if (m_cmdInfo.m_strProfile.empty()) {
        m_nExitCode = kExitNoProfile;
        return false;
    }
    ProfileRunOptions profile;
    const ProfileStatus status = ReadForRun(m_cmdInfo.m_strProfile, profile);
    if (status != ProfileStatus::Ok) {
        if (status == ProfileStatus::BadVersion) {
            // The message box of a windowed program; here it goes to standard error.
            const std::string_view text = LoadString(kMsgProfileInvalid);
            std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
        }
        m_nExitCode = kExitBadProfile;
        return false;
    }
    m_nCodePage = profile.nCodePage;
    m_nOutputOption = profile.nOutputOption;
    m_strOutputArg = profile.strOutputArg;
    m_nUnicodeFormat = profile.nUnicodeFormat;
    m_bUtf8Meta = profile.bUtf8Meta;
    m_bEntityToUnicode = profile.bEntityToUnicode;
    m_bAddBOM = profile.bAddBOM;

    if (!Validate()) {
        return false;
    }

    m_job(*this, m_cmdInfo.m_bOverwriteExisting ? kRuleOverwrite : kRuleSkip, m_bConsoleAttached);
    if (m_bConsoleAttached) {
        platform::WriteConsole({"\n"});
    }

    const std::string logPath = m_cmdInfo.m_strLogFile.empty()
                                    ? std::string(LoadString(kMsgDefaultLogPath))
                                    : m_cmdInfo.m_strLogFile;
    std::vector<std::int64_t> order(static_cast<std::size_t>(m_log.GetCount()));
    std::iota(order.begin(), order.end(), std::int64_t{0});
    if (!m_log.Write(logPath, order, m_cmdInfo.m_bAppendLog, *this)) {
        m_nExitCode = kExitLogNotWritten;
        return false;
    }
    switch (m_log.GetMaxLevel()) {
    case kLevelOk:
        m_nExitCode = kExitOk;
        return true;
    case kLevelWarning:
        m_nExitCode = kExitWarning;
        return false;
    default:
        m_nExitCode = kExitFileFailed;
        return false;
    }
}

bool CNIModeController::Validate() {
    ProfileRunOptions options;
    options.nCodePage = m_nCodePage;
    options.nOutputOption = m_nOutputOption;
    options.strOutputArg = m_strOutputArg;
    const std::int32_t code =
        ValidateRunOptions(static_cast<std::size_t>(std::max(m_pFileList->GetCount(), 0)), options);
    m_strOutputArg = options.strOutputArg;
    if (code != kExitOk) {
        m_nExitCode = code;
        return false;
    }
    return true;
}

} // namespace varnolt
