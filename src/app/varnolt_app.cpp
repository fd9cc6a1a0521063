// Start-up sequence of the main program.
#include "app/varnolt_app.hpp"

#include "app/exit_codes.hpp"
#include "app/ni_mode_controller.hpp"
#include "app/os_version.hpp"
#include "app/run_switches.hpp"
#include "convert/conversion_job.hpp"
#include "convert/log.hpp"
#include "output/overwrite_question.hpp"
#include "platform/console.hpp"
#include "platform/text_utf.hpp"
#include "settings/string_table.hpp"

#include <cstdio>
#include <cstring>

namespace varnolt {

namespace {
constexpr int kConsoleLineOk = 7000; // 7001 warning, 7002 failed
} // namespace

CVarnoltApp::CVarnoltApp(int argc, const char* const* argv, std::string settingsPath)
    : m_cmdInfo(m_sourceFiles), m_nArgc(argc), m_pArgv(argv),
      m_strSettingsPath(std::move(settingsPath)) {}

CVarnoltApp::~CVarnoltApp() = default;

bool CVarnoltApp::InitInstance() {
    // The platform gate and the GUI libraries of the original start-up have no
    // counterpart here: Linux counts as a current system (COSVer).
    if (!COSVer::IsNT() || !COSVer::IsXPOrLater()) {
        return false;
    }
    m_pSettings = m_strSettingsPath.empty() ? std::make_unique<CAppSettings>()
                                            : std::make_unique<CAppSettings>(m_strSettingsPath);
    m_cmdInfo.ParseCommandLine(m_nArgc, m_pArgv);

    // Listing the encodings and saving a profile convert nothing and open no
    // window, with or without -u.
    if (m_cmdInfo.m_nError == 0 && m_cmdInfo.m_bListEncodings) {
        std::fputs(EncodingListText().c_str(), stdout);
        return false;
    }
    if (m_cmdInfo.m_nError == 0 && m_cmdInfo.m_bDetect) {
        for (int i = 0; i < m_sourceFiles.GetCount(); ++i) {
            const std::string path = m_sourceFiles.GetPath(i);
            std::fputs(DetectionReportText(path, DetectFileEncoding(path)).c_str(), stdout);
        }
        return false;
    }
    if (m_cmdInfo.m_nError == 0 && !m_cmdInfo.m_strSaveProfile.empty()) {
        m_nExitCode = SaveSwitchProfile(m_cmdInfo);
        return false;
    }

    if (m_cmdInfo.m_bNonInteractive) {
        if (m_cmdInfo.m_nError != 0) {
            if (!m_cmdInfo.m_strError.empty()) {
                std::fprintf(stderr, "varnolt: %s\n",
                             EscapeForDisplay(m_cmdInfo.m_strError).c_str());
            } else if (m_cmdInfo.m_nError == kExitUnknownSwitch) {
                std::fprintf(stderr, "varnolt: unknown switch \"%s\"\n",
                             EscapeForDisplay(m_cmdInfo.m_strUnknownSwitch).c_str());
            }
            m_nExitCode = m_cmdInfo.m_nError;
            CLog::Instance().Reset();
            return false;
        }
        // The job of the convert layer, run with this process's settings;
        // console lines go out as each file finishes.
        struct CConsoleLines : IJobObserver {
            explicit CConsoleLines(bool console) : m_bConsole(console) {}
            void FileFinished(const std::string& path, const CLogRecord& record) override {
                // One line per file whatever its name holds (see EscapeForDisplay).
                const std::string name = EscapeForDisplay(path);
                const std::string_view line = LoadString(kConsoleLineOk + record.nLevel);
                if (record.nSystemError == 0) {
                    if (m_bConsole) {
                        platform::WriteConsole({name, line});
                    }
                    return;
                }
                // A message that guesses at its cause ("Does the file already
                // exist??") gets the system's own reason beside it; the log
                // file keeps its text as it is.
                char buffer[256];
                const std::string reason =
                    std::string(" (") + ::strerror_r(record.nSystemError, buffer, sizeof buffer) +
                    ")";
                if (m_bConsole) {
                    const std::string_view result = line.substr(0, line.find('\n'));
                    platform::WriteConsole({name, result, reason, "\n"});
                }
                const std::string_view message = LoadString(record.nMessageId);
                const std::string text = name + ": " + std::string(message) + reason + "\n";
                std::fputs(text.c_str(), stderr);
            }
            void EncodingDetected(const std::string& path,
                                  const std::vector<DetectionCandidate>& candidates,
                                  std::int32_t codePage) override {
                // Which encoding each file was read in, or why it was left
                // alone; the log keeps its own format.
                std::string text = "varnolt: " + EscapeForDisplay(path) + ": ";
                if (codePage != 0) {
                    text += "converted from the detected encoding\n";
                    text += CandidateLines(candidates, 1);
                } else if (candidates.empty()) {
                    text += "no encoding decodes it; not converted\n";
                } else {
                    text += "the encoding is uncertain; not converted. Candidates:\n";
                    text += CandidateLines(candidates, 5);
                }
                std::fputs(text.c_str(), stderr);
            }
            bool m_bConsole;
        };
        m_pStopGuard = std::make_unique<platform::CStopSignalGuard>();
        auto job = [this](const CControllerBase& run, int overwriteRule, bool console) {
            ClearOverwriteAll();
            JobOptions options;
            options.nOverwriteRule = overwriteRule;
            options.pStop = &platform::StopFlag();
            CConsoleLines lines(console);
            RunConversionJob(run, *m_pSettings, CLog::Instance(), options, &lines);
        };
        CNIModeController controller(m_sourceFiles, m_cmdInfo, CLog::Instance(), job);
        m_pController = &controller;
        CControllerBase::SetCurrent(&controller);
        controller.Run();
        m_nExitCode = controller.m_nExitCode;
        CControllerBase::SetCurrent(nullptr);
        m_pController = nullptr;
        return false;
    }
    if (m_pfnRunInteractive) {
        m_nExitCode = m_pfnRunInteractive(*this);
        return false;
    }
    std::fputs("varnolt: the main window is not built yet; use -u for a non-interactive run\n",
               stderr);
    return false;
}

int CVarnoltApp::ExitInstance() {
    int code = m_nExitCode;
    m_pSettings.reset(); // orderly end: dirty settings are written now
    // An interrupted run says so whatever its records say: files were left out.
    if (m_pStopGuard && platform::StopSignal() != 0) {
        code = 128 + platform::StopSignal();
    }
    return code;
}

} // namespace varnolt
