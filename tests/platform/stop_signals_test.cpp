// The stop-signal handler and its table of temporary files, in a child
// process each (a second signal ends the process).
#include "platform/stop_signals.hpp"
#include "support/test_support.hpp"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace varnolt::platform {
namespace {

TEST(StopSignalTable, SecondSignalRemovesOnlyTrackedFiles) {
    test::TempDir dir;
    for (const char* name : {"a", "b", "c", "d"}) {
        test::WriteFile(dir / name, name);
    }
    EXPECT_EXIT(
        {
            const CStopSignalGuard guard;
            TrackTempFile(dir / "a");
            TrackTempFile(dir / "b");
            UntrackTempFile(dir / "b"); // moved into place: no longer ours
            TrackTempFile(dir / "c");   // may take b's slot again
            std::raise(SIGTERM);
            if (!StopFlag().load() || StopSignal() != SIGTERM) {
                std::_Exit(1); // the first signal must only be remembered
            }
            std::raise(SIGINT);
            std::_Exit(2);
        },
        ::testing::ExitedWithCode(128 + SIGINT), "");
    EXPECT_FALSE(std::filesystem::exists(dir / "a"));
    EXPECT_TRUE(std::filesystem::exists(dir / "b"));
    EXPECT_FALSE(std::filesystem::exists(dir / "c"));
    EXPECT_TRUE(std::filesystem::exists(dir / "d"));
}

// Whoever started us may ignore a signal on purpose (nohup): it stays ignored.
TEST(StopSignalTable, IgnoredSignalStaysIgnored) {
    EXPECT_EXIT(
        {
            std::signal(SIGHUP, SIG_IGN);
            const CStopSignalGuard guard;
            std::raise(SIGHUP);
            std::raise(SIGHUP);
            std::_Exit(StopSignal() == 0 ? 7 : 1);
        },
        ::testing::ExitedWithCode(7), "");
}

} // namespace
} // namespace varnolt::platform
