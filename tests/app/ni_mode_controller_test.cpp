// The non-interactive run around a stand-in job: exit codes in their order,
// what the job is given, the log file.
#include "app/ni_mode_controller.hpp"
#include "app/source_file_list_doc.hpp"
#include "convert/log.hpp"
#include "settings/profile.hpp"
#include "support/test_support.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnolt {
namespace {

class CFileList : public ISourceFileList {
public:
    explicit CFileList(std::vector<std::string> paths) : m_paths(std::move(paths)) {}
    int GetCount() const override { return static_cast<int>(m_paths.size()); }
    std::string GetPath(int index) const override { return m_paths.at(index); }
    std::string GetBaseFolder(int) const override { return {}; }

private:
    std::vector<std::string> m_paths;
};

struct JobCall {
    int calls = 0;
    int overwriteRule = -1;
    bool console = false;
    std::string outputArg;
    bool meta = false;
};

// A job that gives every file the level its name asks for ("warn", "fail").
ConversionJob StandInJob(CLog& log, JobCall& seen) {
    return [&log, &seen](const CControllerBase& run, int overwriteRule, bool console) {
        ++seen.calls;
        seen.overwriteRule = overwriteRule;
        seen.console = console;
        seen.outputArg = run.m_strOutputArg;
        seen.meta = run.m_bUtf8Meta;
        for (int i = 0; i < run.m_pFileList->GetCount(); ++i) {
            const std::string path = run.m_pFileList->GetPath(i);
            const auto index = log.AddRecord(path);
            if (path.find("warn") != std::string::npos) {
                log.SetStatus(index, kLevelWarning, kMsgDestExistsSkipped);
            } else if (path.find("fail") != std::string::npos) {
                log.SetStatus(index, kLevelError, kMsgSourceUnreadable);
            }
        }
    };
}

class NIModeControllerTest : public ::testing::Test {
protected:
    void SetUp() override { m_log.Reset(); }

    std::string Profile(int option, std::string arg, int codePage = 1252, int format = 2) {
        ProfileOptions o;
        o.nCodePage = codePage;
        o.nOutputOption = option;
        o.strBackupPrefix = option == 0 ? arg : "bak_";
        o.strDestPrefix = option == 1 ? arg : "u_";
        o.strOutputFolder = option == 2 ? arg : m_dir.Path();
        o.nUnicodeFormat = format;
        o.bUtf8Meta = true;
        const std::string path = m_dir / ("p" + std::to_string(++m_nProfiles) + ".vnp");
        EXPECT_TRUE(WriteProfile(path, o));
        return path;
    }

    // Runs one controller; returns its exit code.
    int Run(const std::string& profile, std::vector<std::string> files, JobCall& seen,
            bool overwrite = false, long consolePid = -1, bool append = true,
            std::string logFile = {}) {
        CSourceFileListDoc doc;
        CMyCmdLineInfo cmd(doc);
        cmd.m_bNonInteractive = true;
        cmd.m_strProfile = profile;
        cmd.m_bOverwriteExisting = overwrite;
        cmd.m_nConsolePid = static_cast<std::int32_t>(consolePid);
        cmd.m_bAppendLog = append;
        cmd.m_strLogFile = logFile.empty() ? m_dir / "run.log" : logFile;
        CFileList list(std::move(files));
        m_log.Reset();
        CNIModeController controller(list, cmd, m_log, StandInJob(m_log, seen));
        const bool ok = controller.Run();
        EXPECT_EQ(ok, controller.m_nExitCode == 0);
        return controller.m_nExitCode;
    }

    test::TempDir m_dir;
    CLog m_log;
    int m_nProfiles = 0;
};

TEST_F(NIModeControllerTest, FailuresBeforeConvertingInTheirOrder) {
    test::WriteFile(m_dir / "v3.vnp", FormatProfile({}).replace(12, 2, std::string("3\0", 2)));
    struct Case {
        const char* name;
        std::string profile;
        std::vector<std::string> files;
        int code;
    };
    const std::vector<Case> cases = {
        {"no profile", "", {"a.txt"}, 132},
        {"profile missing", m_dir / "none.vnp", {"a.txt"}, 140},
        {"version 3", m_dir / "v3.vnp", {"a.txt"}, 140},
        {"no files", Profile(2, m_dir.Path()), {}, 142},
        {"unknown code page", Profile(2, m_dir.Path(), 1259), {"a.txt"}, 144},
        {"bad backup prefix", Profile(0, "a/b"), {"a.txt"}, 146},
        {"bad converted prefix", Profile(1, ""), {"a.txt"}, 148},
        {"missing folder", Profile(2, m_dir / "missing"), {"a.txt"}, 150},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        JobCall seen;
        EXPECT_EQ(Run(c.profile, c.files, seen), c.code);
        EXPECT_EQ(seen.calls, 0);
        EXPECT_FALSE(std::filesystem::exists(m_dir / "run.log"));
    }
}

// Every profile failure is 140; standard error names the file and why (a
// version it cannot read first shows the program's own message).
TEST_F(NIModeControllerTest, ProfileFailuresSayWhichFileAndWhy) {
    test::WriteFile(m_dir / "v3.vnp", FormatProfile({}).replace(12, 2, std::string("3\0", 2)));
    test::WriteFile(m_dir / "text.vnp", "not a profile");
    std::filesystem::create_directory(m_dir / "folder.vnp");
    const std::pair<std::string, std::string> cases[] = {
        {"v3.vnp", "The specified config profile is invalid. \n"
                   "varnolt: cannot use the profile \"" +
                       (m_dir / "v3.vnp") +
                       "\": its version is not one this program reads (0 to 2)\n"},
        {"none.vnp",
         "varnolt: cannot use the profile \"" + (m_dir / "none.vnp") + "\": it does not exist\n"},
        {"text.vnp", "varnolt: cannot use the profile \"" + (m_dir / "text.vnp") +
                         "\": it does not begin with the profile signature\n"},
        // (FIFOs are run in a child process under a time limit.)
        {"folder.vnp", "varnolt: cannot use the profile \"" + (m_dir / "folder.vnp") +
                           "\": it is not a regular file\n"},
    };
    for (const auto& [name, message] : cases) {
        SCOPED_TRACE(name);
        JobCall seen;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(Run(m_dir / name, {"a.txt"}, seen), 140);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), message);
        EXPECT_EQ(seen.calls, 0);
    }
}

// What a normal user sees for a profile they may not read (root reads anyway).
TEST_F(NIModeControllerTest, UnreadableProfileSaysPermissionDenied) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads a file of mode 0000";
    }
    test::WriteFile(m_dir / "locked.vnp", FormatProfile({}));
    ASSERT_EQ(::chmod((m_dir / "locked.vnp").c_str(), 0), 0);
    JobCall seen;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Run(m_dir / "locked.vnp", {"a.txt"}, seen), 140);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "varnolt: cannot use the profile \"" + (m_dir / "locked.vnp") +
                  "\": it cannot be read: " + std::strerror(EACCES) + "\n");
}

TEST_F(NIModeControllerTest, ExitCodeFromTheWorstFile) {
    const std::string profile = Profile(2, m_dir.Path());
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{"a.txt", "b.txt"}, 0},
        {{"a.txt", "warn.txt"}, 16},
        {{"warn.txt", "fail.txt", "a.txt"}, 160},
    };
    for (const auto& [files, code] : cases) {
        JobCall seen;
        EXPECT_EQ(Run(profile, files, seen), code);
        EXPECT_EQ(seen.calls, 1);
    }
    // The conversion went through, but the log cannot be written.
    JobCall seen;
    EXPECT_EQ(Run(profile, {"a.txt"}, seen, false, -1, true, m_dir / "missing/run.log"), 155);
    EXPECT_EQ(seen.calls, 1);
}

TEST_F(NIModeControllerTest, WhatTheJobIsGiven) {
    JobCall seen;
    ASSERT_EQ(Run(Profile(2, "  \"" + m_dir.Path() + "\" "), {"a.txt"}, seen), 0);
    EXPECT_EQ(seen.overwriteRule, kRuleSkip);
    EXPECT_FALSE(seen.console);
    EXPECT_EQ(seen.outputArg, m_dir.Path() + "/"); // normalised folder
    EXPECT_TRUE(seen.meta);

    ASSERT_EQ(Run(Profile(1, "u_", 1252, 0), {"a.txt"}, seen, true, ::getpid()), 0);
    EXPECT_EQ(seen.overwriteRule, kRuleOverwrite);
    EXPECT_TRUE(seen.console); // -p names a live process
    EXPECT_EQ(seen.outputArg, "u_");
    EXPECT_FALSE(seen.meta); // UTF-16 output: no meta tag

    ASSERT_EQ(Run(Profile(1, "u_"), {"a.txt"}, seen, false, 0), 0);
    EXPECT_FALSE(seen.console); // 0 is no process
}

TEST_F(NIModeControllerTest, LogAppendsUnlessAskedToReplace) {
    const std::string profile = Profile(2, m_dir.Path());
    JobCall seen;
    ASSERT_EQ(Run(profile, {"a.txt"}, seen), 0);
    const auto once = std::filesystem::file_size(m_dir / "run.log");
    ASSERT_EQ(Run(profile, {"a.txt"}, seen), 0);
    EXPECT_GT(std::filesystem::file_size(m_dir / "run.log"), once);
    ASSERT_EQ(Run(profile, {"a.txt"}, seen, false, -1, false), 0);
    EXPECT_EQ(std::filesystem::file_size(m_dir / "run.log"), once);
}

} // namespace
} // namespace varnolt
