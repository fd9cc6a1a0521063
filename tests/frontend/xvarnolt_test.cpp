// The console front end, end to end, with a stand-in main program that echoes
// its arguments and exits with the code it is told.
#include "support/test_support.hpp"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>

namespace varnolt {
namespace {

const std::string kTitle = "Varnolt Command-Line Mode\n\n";
const std::string kUsage =
    "xvarnolt -c cfg-profile [-l logfile] [-o] [y] files to convert...\n\n"
    "-c cfg-profile - The config profile used to perform the conversion\n"
    "-l logfile     - The filename of Log File. Default is varnolt.log\n"
    "-o             - Overwrite the Log File. Default: Append to existing log file\n"
    "-y             - Overwrite the destination file if the file already exists.\n"
    "                 Default: Skip the file\n"
    "-s             - Search files in sub-directories\n\n"
    "Note: Wildcard characters ('*' or '?') can be used to specify the files to be\n"
    "converted.\n";

// Sets or unsets a variable of this process for one scope: RunProgram's extra
// entries can replace an inherited variable but not remove it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { m_old ? ::setenv(m_name, m_old->c_str(), 1) : ::unsetenv(m_name); }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

test::ProgramResult RunFrontEnd(const std::vector<std::string>& args,
                                const std::vector<std::string>& env = {}) {
    const ScopedEnv exe("VARNOLT_EXE", FAKE_VARNOLT_EXE_PATH);
    return test::RunProgram(XVARNOLT_EXE_PATH, args, {}, env);
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(XVarnolt, UsageWithoutArgumentsOrOnRequest) {
    for (const auto& args : std::vector<std::vector<std::string>>{{}, {"--help"}, {"-h"}}) {
        const auto r = RunFrontEnd(args);
        EXPECT_EQ(r.exitCode, 0);
        // The classic text stays as it was; the switches that stand in for a
        // profile follow it. The main program was not started.
        EXPECT_EQ(r.out.rfind(kTitle + kUsage, 0), 0u) << r.out;
        for (const char* line : {"\n--from ENC ", "\n--out DIR ", "\n--files-from FILE ",
                                 "\n--keep-folders ", "\n-- "}) {
            EXPECT_NE(r.out.find(line), std::string::npos) << line;
        }
        EXPECT_EQ(r.out.find("argv["), std::string::npos) << r.out;
    }
    const auto r = RunFrontEnd({"--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "xvarnolt 5.1.3\n");
}

// Among other arguments the help and version texts are the main program's to
// judge: the front end starts it with them, and the usage is not shown.
TEST(XVarnolt, HelpAndVersionAmongOtherArgumentsGoToTheMainProgram) {
    for (const std::string word : {"-h", "--help", "--version"}) {
        for (const auto& args : std::vector<std::vector<std::string>>{
                 {"-c", "p.vnp", "-l", "x.log", word, "a.txt"}, {word, "a.txt"}, {"a.txt", word}}) {
            const auto r = RunFrontEnd(args, {"FAKE_VARNOLT_EXIT=130"});
            EXPECT_EQ(r.exitCode, 130) << word;
            EXPECT_NE(r.out.find("argv[1]=<-u>\n"), std::string::npos) << r.out; // started
            EXPECT_NE(r.out.find("=<" + word + ">\n"), std::string::npos) << r.out;
            EXPECT_EQ(r.out.find(kUsage), std::string::npos) << r.out;
            EXPECT_TRUE(EndsWith(r.out, "Unknown command line switch is specified\n")) << r.out;
        }
    }
    // With the real main program the stray "-h" is an unknown switch, and
    // nothing is converted.
    test::TempDir dir;
    test::WriteFile(dir / "a.txt", "abc");
    const ScopedEnv exe("VARNOLT_EXE", VARNOLT_EXE_PATH);
    const auto r =
        test::RunProgram(XVARNOLT_EXE_PATH, {"-c", "p.vnp", "-l", "x.log", "-h", "a.txt"},
                         dir.Path(), {"VARNOLT_SETTINGS=" + (dir / "settings.reg")});
    EXPECT_EQ(r.exitCode, 130);
    EXPECT_TRUE(EndsWith(r.out, "Unknown command line switch is specified\n")) << r.out;
    // The main program shares the front end's standard error: the user also
    // sees which switch it was.
    EXPECT_EQ(r.err, "varnolt: unknown switch \"-h\"\n");
    EXPECT_EQ(test::ReadFile(dir / "a.txt"), "abc");
}

TEST(XVarnolt, MessageAndExitCodeForEveryResult) {
    const std::pair<int, std::string> cases[] = {
        {0, "Conversion OK!\n"},
        {16, "Warning occured during conversion. Please read the log file for details\n"},
        {130, "Unknown command line switch is specified\n"},
        {132, "No Configuration profile is specified. Please check the -C switch\n"},
        {134, "The Log file is not specified following the -L switch\n"},
        {140, "The configuration profile is invalid or inaccessible\n"},
        {142, "No source file is specified in the command line argument\n"},
        {144, "The Code Page specified in configuration profile is not supported by this "
              "computer\n"},
        {146, "\"Overwrite after backup original files\" setting is invalid.\n"},
        {148, "\"Add a filename prefix to converted files\" setting is invalid.\n"},
        {150, "\"Output to a folder\" specified in configuration profile is invalid.\n"},
        {155, "Failed to save log file\n"},
        {160, "Error occured during conversion. Please read the log file for details\n"},
        {1, "Unexpected Error! Error Code=1\n"},
        {200, "Unexpected Error! Error Code=200\n"},
    };
    for (const auto& [code, message] : cases) {
        const auto r =
            RunFrontEnd({"-c", "p.vnp", "a.txt"}, {"FAKE_VARNOLT_EXIT=" + std::to_string(code)});
        EXPECT_EQ(r.exitCode, code);
        EXPECT_TRUE(EndsWith(r.out, message)) << code << ": " << r.out;
    }
}

// "Conversion OK!" only for a run that converts: not for a request that
// converts nothing, but for one where such a word is only a long option's
// value or a file after "--".
TEST(XVarnolt, OkOnlyForARunThatConverts) {
    const struct {
        std::vector<std::string> args;
        bool ok;
    } cases[] = {
        {{"--detect", "a.txt"}, false},
        {{"--list-encodings"}, false},
        {{"--from", "1252", "--out", "o", "--save-profile=s.vnp"}, false},
        {{"--from", "1252", "--prefix", "--detect", "a.txt"}, true},
        {{"--from=1252", "--out", "--list-encodings", "a.txt"}, true},
        {{"-c", "p.vnp", "--", "--detect"}, true},
    };
    for (const auto& c : cases) {
        std::string trace;
        for (const auto& a : c.args) {
            trace += a + " ";
        }
        SCOPED_TRACE(trace);
        const auto r = RunFrontEnd(c.args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(EndsWith(r.out, "Conversion OK!\n"), c.ok) << r.out;
    }
}

TEST(XVarnolt, ArgumentsArriveUnchangedAfterTheModeSwitches) {
    const std::vector<std::string> args = {
        "-c", "my profile.vnp", "\"already quoted\"", "it's", "", "tab\there", "*.txt",
        "-s", "back\\slash",
    };
    const auto r = RunFrontEnd(args);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    // Our title is out before the main program writes anything.
    ASSERT_EQ(r.out.rfind(kTitle + "argv[0]=<" FAKE_VARNOLT_EXE_PATH ">\n", 0), 0u) << r.out;

    const std::size_t ppidAt = r.out.find("ppid=");
    ASSERT_NE(ppidAt, std::string::npos);
    const std::string ppid = r.out.substr(ppidAt + 5, r.out.find('\n', ppidAt) - ppidAt - 5);
    std::string expected = kTitle + "argv[0]=<" FAKE_VARNOLT_EXE_PATH ">\n" +
                           "argv[1]=<-u>\nargv[2]=<-p>\nargv[3]=<" + ppid + ">\n";
    for (std::size_t i = 0; i < args.size(); ++i) {
        expected += "argv[" + std::to_string(i + 4) + "]=<" + args[i] + ">\n";
    }
    expected += "ppid=" + ppid + "\nConversion OK!\n";
    EXPECT_EQ(r.out, expected); // -p carries the front end's own id: the child's parent
}

TEST(XVarnolt, MainProgramMissingOrUnstartable) {
    test::TempDir dir;
    {
        const ScopedEnv exe("VARNOLT_EXE", (dir / "nothing-here").c_str());
        const auto r = test::RunProgram(XVARNOLT_EXE_PATH, {"a.txt"});
        EXPECT_EQ(r.exitCode, 255);
        EXPECT_EQ(r.out, kTitle + "Error:Unable to locate varnolt.exe\n");
    }
    test::WriteFile(dir / "varnolt", "not a program");
    const ScopedEnv exe("VARNOLT_EXE", (dir / "varnolt").c_str());
    const auto r = test::RunProgram(XVARNOLT_EXE_PATH, {"a.txt"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, kTitle + "Unexpected Error! Error Code=-1\n");
}

TEST(XVarnolt, MainProgramEndedBySignalIsNotMistakenForAnExitCode) {
    // 6 (abort) would read as 134 "log file not specified" under the shell's 128 + n.
    const auto r = RunFrontEnd({"a.txt"}, {"FAKE_VARNOLT_SIGNAL=6"});
    EXPECT_EQ(r.exitCode, 134);
    EXPECT_TRUE(EndsWith(r.out, "\nUnexpected Error! Error Code=134\n")) << r.out;
}

// A stopped run: the front end waits for the main program and reports its
// code. 130 means "interrupted" only when the front end got the signal too
// (Ctrl-C reaches both); alone it is the unknown switch (above).
TEST(XVarnolt, InterruptedRunReportsTheMainProgramsCode) {
    const std::string interrupted =
        "The conversion was interrupted. Please read the log file for details\n";
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{"FAKE_VARNOLT_EXIT=129"}, 129},
        {{"FAKE_VARNOLT_EXIT=143"}, 143},
        {{"FAKE_VARNOLT_SIGNAL_PARENT=2", "FAKE_VARNOLT_EXIT=130"}, 130},
        {{"FAKE_VARNOLT_SIGNAL_PARENT=1", "FAKE_VARNOLT_EXIT=129"}, 129},
    };
    for (const auto& [env, code] : cases) {
        const auto r = RunFrontEnd({"-c", "p.vnp", "a.txt"}, env);
        EXPECT_EQ(r.exitCode, code) << env.front();
        EXPECT_TRUE(EndsWith(r.out, "\n" + interrupted)) << env.front() << ": " << r.out;
    }
}

// SIGTERM sent to the front end alone reaches the main program, which then
// stops cleanly (the stand-in exits 143 only when it got the signal).
TEST(XVarnolt, SigtermToTheFrontEndIsPassedOn) {
    const auto r = RunFrontEnd({"a.txt"}, {"FAKE_VARNOLT_SIGNAL_PARENT=15"});
    EXPECT_EQ(r.exitCode, 143);
    EXPECT_TRUE(
        EndsWith(r.out, "\nThe conversion was interrupted. Please read the log file for details\n"))
        << r.out;
}

// Without VARNOLT_EXE: first `varnolt` beside the front end, then on PATH.
TEST(XVarnolt, FindsTheMainProgramBesideItselfThenOnPath) {
    namespace fs = std::filesystem;
    test::TempDir bin;
    test::TempDir onPath;
    fs::copy_file(XVARNOLT_EXE_PATH, bin / "xvarnolt");
    fs::copy_file(FAKE_VARNOLT_EXE_PATH, onPath / "varnolt");
    const ScopedEnv noExe("VARNOLT_EXE", nullptr);
    {
        // An empty PATH entry is the current folder, here the front end's own.
        const ScopedEnv path("PATH", ("/nonexistent::" + onPath.Path()).c_str());
        auto r = test::RunProgram(bin / "xvarnolt", {"x"}, bin.Path());
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_NE(r.out.find("argv[0]=<" + (onPath / "varnolt") + ">"), std::string::npos) << r.out;

        fs::copy_file(FAKE_VARNOLT_EXE_PATH, bin / "varnolt");
        r = test::RunProgram(bin / "xvarnolt", {"x"});
        EXPECT_NE(r.out.find("argv[0]=<" + (bin / "varnolt") + ">"), std::string::npos) << r.out;
    }
    fs::remove(bin / "varnolt");
    const ScopedEnv path("PATH", "/nonexistent");
    const auto r = test::RunProgram(bin / "xvarnolt", {"x"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, kTitle + "Error:Unable to locate varnolt.exe\n");
}

// With the real main program: the mode switches and the process id reach it
// as its command line expects them (no profile named: 132).
TEST(XVarnolt, RealMainProgramReportsItsExitCode) {
    test::TempDir dir;
    const ScopedEnv exe("VARNOLT_EXE", VARNOLT_EXE_PATH);
    const auto r = test::RunProgram(XVARNOLT_EXE_PATH, {"a.txt"}, dir.Path(),
                                    {"VARNOLT_SETTINGS=" + (dir / "settings.reg")});
    EXPECT_EQ(r.exitCode, 132);
    EXPECT_EQ(r.out,
              kTitle + "No Configuration profile is specified. Please check the -C switch\n");
}

} // namespace
} // namespace varnolt
