// The helpers that start the real programs: what a test sets for a child wins
// over what the developer or CI exported, so no test reads or writes the
// caller's settings or temporary folder.
#include "output/fault_env.hpp"
#include "support/run_space.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace varnolt {
namespace {

TEST(ChildEnvironment, TestValuesWinOverExportedOnes) {
    test::TempDir caller;
    const std::string callersSettings = caller / "settings.reg";
    const test::ScopedEnv settings("VARNOLT_SETTINGS", callersSettings);
    test::RunSpace space;
    test::WriteFile(space / "a.txt", "plain text\r\n");
    space.WriteProfile(test::MakeOptions(1252, 1, "_u_", 2, false));
    const std::string before = test::ReadFile(space.SettingsPath());

    const auto r = space.Run({"a.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(std::filesystem::exists(callersSettings)) << "the caller's settings written";
    EXPECT_NE(test::ReadFile(space.SettingsPath()), before) << "the run's settings not used";

    // A temporary folder that does not exist: a child that used it could make
    // no temporary file and would fail the file. (Set only now: this process
    // makes its own temporary folders in it too.)
    std::filesystem::remove(space / "_u_a.txt");
    const test::ScopedEnv tmp("TMPDIR", caller / "missing");
    const test::Child child = space.Start({"a.txt"});
    int status = 0;
    ASSERT_EQ(::waitpid(child.pid, &status, 0), child.pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << test::ReadFile(child.errPath);
    const auto records = test::ReadLogRecords(space.LogPath());
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back().status, "OK");
    EXPECT_EQ(test::ReadFile(space / "_u_a.txt"), "plain text\r\n");
}

TEST(ChildEnvironment, LastValueOfANameReplacesTheInheritedOne) {
    const test::ScopedEnv inherited("VARNOLT_TEST_PROBE", "inherited");
    const auto r = test::RunProgram("/usr/bin/env", {}, {},
                                    {"VARNOLT_TEST_PROBE=first", "VARNOLT_TEST_PROBE=second"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string line = "VARNOLT_TEST_PROBE=";
    const std::size_t at = r.out.find(line);
    ASSERT_NE(at, std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(at, r.out.find('\n', at) - at), line + "second");
    EXPECT_EQ(r.out.find(line, at + 1), std::string::npos) << "two entries:\n" << r.out;
}

} // namespace
} // namespace varnolt
