// --detect and --from auto, end to end through the main program.
#include "support/run_space.hpp"
#include "support/test_support.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <regex>

namespace varnolt {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

struct Workspace {
    TempDir dir;
    // One worker, so the log's records follow the command line.
    Workspace() {
        WriteFile(dir / "settings.reg", "Windows Registry Editor Version 5.00\n\n"
                                        "[HKEY_CURRENT_USER\\Software\\Brambleware\\Varnolt 5]\n"
                                        "\"DisableMP\"=dword:00000001\n");
    }
    test::ProgramResult Varnolt(const std::vector<std::string>& args) const {
        return test::RunProgram(VARNOLT_EXE_PATH, args, dir.Path(),
                                {"VARNOLT_SETTINGS=" + (dir / "settings.reg")});
    }
};

std::string Sample(const std::string& name) {
    return ReadFile(std::string(VARNOLT_SOURCE_DIR) + "/samples/" + name);
}

TEST(DetectSwitch, PrintsEachFileWithItsCandidatesAndConvertsNothing) {
    Workspace run;
    WriteFile(run.dir / "ru.txt", Sample("ru_library_report_1251.txt"));
    WriteFile(run.dir / "empty.txt", "");
    WriteFile(run.dir / "ascii.txt", "just ascii\n");
    const auto before = test::Snapshot(run.dir.Path());
    const auto r = run.Varnolt({"--detect", "ru.txt", "empty.txt", "ascii.txt", "gone.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::Snapshot(run.dir.Path()), before) << "no output, no log";

    // A block per file in argument order: the full path and a colon, then
    // "  <code page> <name> <confidence>" lines, best first.
    const std::string dir = fs::canonical(run.dir.Path()).string();
    const std::regex block("^" + dir +
                           "/ru\\.txt:\n  1251   Cyrillic \\(Windows\\) +(0\\.\\d\\d|1\\.00)\n"
                           "(  \\d+ +\\S.*\\S +\\d\\.\\d\\d\n){1,4}" +
                           dir + "/empty\\.txt:\n  no candidate\n" + dir +
                           "/ascii\\.txt:\n  1252   Western \\(Windows Char\\. Set\\) +1\\.00\n"
                           "(  \\d+ +\\S.*\\S +1\\.00\n){48}" +
                           dir + "/gone\\.txt:\n  cannot be read: .+\n$");
    EXPECT_TRUE(std::regex_match(r.out, block)) << r.out;

    // The console front end passes it on and claims no conversion.
    const auto front = test::RunProgram(XVARNOLT_EXE_PATH, {"--detect", "ru.txt"}, run.dir.Path(),
                                        {"VARNOLT_SETTINGS=" + (run.dir / "settings.reg"),
                                         std::string("VARNOLT_EXE=") + VARNOLT_EXE_PATH});
    EXPECT_EQ(front.exitCode, 0) << front.err;
    EXPECT_NE(front.out.find("/ru.txt:\n  1251   Cyrillic (Windows)"), std::string::npos)
        << front.out;
    EXPECT_EQ(front.out.find("Conversion OK!"), std::string::npos) << front.out;
}

TEST(DetectSwitch, RefusesRunSwitchesBesideIt) {
    Workspace run;
    WriteFile(run.dir / "a.txt", "abc");
    const auto r = run.Varnolt({"-u", "--detect", "--from", "1252", "--prefix", "u_", "a.txt"});
    EXPECT_EQ(r.exitCode, 130);
    EXPECT_NE(r.err.find("--detect converts nothing"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(run.dir / "u_a.txt"));
}

// A file the detection is sure of converts exactly as with its code page
// given; one it is not sure of is left alone with a warning that the log
// keeps and the candidates on standard error.
TEST(FromAuto, ConvertsSureFilesAsAnExplicitCodePageAndRefusesTheRest) {
    const struct {
        std::string sample;
        std::string codePage;
    } sure[] = {{"ru_library_report_1251.txt", "1251"},
                {"ja_notice_shift_jis.txt", "932"},
                {"glossary_utf16le.txt", "1200"}};
    for (const auto& c : sure) {
        SCOPED_TRACE(c.sample);
        Workspace run;
        WriteFile(run.dir / "in.txt", Sample(c.sample));
        WriteFile(run.dir / "plain.txt", "ascii only\r\n");
        WriteFile(run.dir / "unsure.txt", "Caf\xE9\n");
        const auto autoRun = run.Varnolt({"-u", "--from", "auto", "--prefix", "a_", "-l", "a.log",
                                          "in.txt", "plain.txt", "unsure.txt"});
        const auto explicitRun =
            run.Varnolt({"-u", "--from", c.codePage, "--prefix", "e_", "-l", "e.log", "in.txt"});
        ASSERT_EQ(explicitRun.exitCode, 0) << explicitRun.err;
        EXPECT_EQ(autoRun.exitCode, 16) << autoRun.err;
        ASSERT_TRUE(fs::exists(run.dir / "a_in.txt"));
        EXPECT_EQ(ReadFile(run.dir / "a_in.txt"), ReadFile(run.dir / "e_in.txt"));
        EXPECT_EQ(ReadFile(run.dir / "a_plain.txt"), "ascii only\r\n") << "ASCII is unchanged";
        EXPECT_FALSE(fs::exists(run.dir / "a_unsure.txt"));
        EXPECT_EQ(ReadFile(run.dir / "unsure.txt"), "Caf\xE9\n");

        const auto records = test::ReadLogRecords(run.dir / "a.log");
        ASSERT_EQ(records.size(), 3u);
        EXPECT_EQ(records[0].status, "OK");
        EXPECT_EQ(records[1].status, "OK");
        EXPECT_EQ(records[2].status, test::StatusText(5018));
        EXPECT_NE(autoRun.err.find("unsure.txt: the encoding is uncertain; not converted"),
                  std::string::npos)
            << autoRun.err;
        EXPECT_NE(autoRun.err.find("  1252   Western"), std::string::npos) << autoRun.err;
    }
}

TEST(FromAuto, CannotBeSavedInAProfile) {
    Workspace run;
    const auto r = run.Varnolt({"--from", "auto", "--prefix", "u_", "--save-profile", "p.vnp"});
    EXPECT_EQ(r.exitCode, 144);
    EXPECT_NE(r.err.find("cannot be saved"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(run.dir / "p.vnp"));
}

} // namespace
} // namespace varnolt
