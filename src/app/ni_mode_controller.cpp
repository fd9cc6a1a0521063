// CNIModeController: the steps of a non-interactive run around the job.
#include "app/ni_mode_controller.hpp"

#include "app/exit_codes.hpp"
#include "app/run_switches.hpp"
#include "app/run_validation.hpp"
#include "convert/log.hpp"
#include "decode/encoding_detector.hpp"
#include "output/output_options.hpp"
#include "output/placement_paths.hpp"
#include "platform/console.hpp"
#include "platform/file_io.hpp"
#include "platform/paths.hpp"
#include "platform/text_utf.hpp"
#include "settings/profile.hpp"
#include "settings/string_table.hpp"

#include <algorithm>
#include <cstdio>

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

    if (m_cmdInfo.m_strProfile.empty() && !m_cmdInfo.HasRunSwitches()) {
        m_nExitCode = kExitNoProfile;
        return false;
    }
    ProfileRunOptions profile;
    int readError = 0;
    // Switches instead of a profile give the options the same profile would.
    const ProfileStatus status =
        m_cmdInfo.m_strProfile.empty()
            ? ToRunOptions({kProfileVersion, m_cmdInfo.m_switchOptions}, profile)
            : ReadForRun(m_cmdInfo.m_strProfile, profile, &readError);
    if (status != ProfileStatus::Ok) {
        if (status == ProfileStatus::BadVersion) {
            // The message box of a windowed program; here it goes to standard error.
            const std::string_view text = LoadString(kMsgProfileInvalid);
            std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
        }
        // The exit code alone does not say which file or what to fix.
        std::fprintf(stderr, "varnolt: cannot use the profile \"%s\": %s\n",
                     EscapeForDisplay(platform::AbsolutePath(m_cmdInfo.m_strProfile)).c_str(),
                     ProfileFailureReason(status, readError).c_str());
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

    // Records go out to a scratch file as files finish, so the memory of a
    // run does not grow with the number of files.
    m_log.StreamCompletedRecords();
    const std::string logPath = m_cmdInfo.m_strLogFile.empty()
                                    ? std::string(LoadString(kMsgDefaultLogPath))
                                    : m_cmdInfo.m_strLogFile;
    // Neither the profile nor the log is ever converted; the log may not
    // exist yet, and then no source can be it.
    for (const std::string& own : {m_cmdInfo.m_strProfile, logPath}) {
        if (const auto identity = platform::IdentityOf(own)) {
            m_runOwnFiles.push_back(*identity);
        }
    }
    m_job(*this, m_cmdInfo.m_bOverwriteExisting ? kRuleOverwrite : kRuleSkip, m_bConsoleAttached);
    if (m_bConsoleAttached) {
        platform::WriteConsole({"\n"});
    }

    if (LogPathHoldsAnOriginal(logPath) ||
        !m_log.WriteInRecordOrder(logPath, m_cmdInfo.m_bAppendLog, *this)) {
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

bool CNIModeController::LogPathHoldsAnOriginal(const std::string& logPath) const {
    // The log must never be written into an original. After the run every
    // original is at its source path, or (option 0) under its backup name,
    // the same file as before under another name; a log path that is one of
    // them (by name or by link) gives 155.
    const auto logIdentity = platform::IdentityOf(logPath);
    if (!logIdentity) {
        return false; // a new file: nothing of the user's is in it
    }
    // Nor into a file this run produced: a converted file would then hold
    // the log after its text.
    if (m_pPlacedFiles->Contains(*logIdentity)) {
        return true;
    }
    // Nor into the profile: a log after its lines would leave a profile
    // that no later run can read.
    if (platform::IdentityOf(m_cmdInfo.m_strProfile) == logIdentity) {
        return true;
    }
    // The log as it was before the run was never converted (not even when
    // listed as a source): it is the log, not an original.
    if (std::find(m_runOwnFiles.begin(), m_runOwnFiles.end(), *logIdentity) !=
        m_runOwnFiles.end()) {
        return false;
    }
    for (int i = 0; i < m_pFileList->GetCount(); ++i) {
        const std::string source = m_pFileList->GetPath(i);
        if (platform::IdentityOf(source) == logIdentity) {
            return true;
        }
        if (m_nOutputOption == kOutputOverBackup &&
            platform::IdentityOf(BackupPathOf(source, m_strOutputArg)) == logIdentity) {
            return true;
        }
    }
    return false;
}

bool CNIModeController::Validate() {
    ProfileRunOptions options;
    // Switches may ask for each file's detected encoding; every page the
    // detection picks is one we decode. A profile cannot ask for it.
    const bool bDetected = m_nCodePage == kDetectCodePage && m_cmdInfo.m_strProfile.empty();
    options.nCodePage = bDetected ? 65001 : m_nCodePage;
    options.nOutputOption = m_nOutputOption;
    options.strOutputArg = m_strOutputArg;
    const std::int32_t code =
        ValidateRunOptions(static_cast<std::size_t>(std::max(m_pFileList->GetCount(), 0)), options);
    m_strOutputArg = options.strOutputArg;
    if (code != kExitOk) {
        if (code == kExitBadOutputFolder) {
            const std::string folder = platform::AbsolutePath(m_strOutputArg);
            // Without its final "/", so that a file there is named as one.
            const std::string entry = folder.substr(0, folder.find_last_not_of('/') + 1);
            const char* why = !platform::PathExists(entry)    ? "it does not exist"
                              : !platform::IsDirectory(entry) ? "it is not a folder"
                                                              : "it cannot be written to";
            std::fprintf(stderr, "varnolt: cannot use the output folder \"%s\": %s\n",
                         EscapeForDisplay(folder).c_str(), why);
        } else if (const std::string text = SwitchCheckMessage(m_cmdInfo, code); !text.empty()) {
            std::fprintf(stderr, "varnolt: %s\n", text.c_str());
        }
        m_nExitCode = code;
        return false;
    }
    return true;
}

} // namespace varnolt
