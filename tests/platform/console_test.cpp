// Console lines from many threads stay whole; the liveness test for -p.
#include "platform/console.hpp"
#include "support/test_support.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace varnolt::platform {
namespace {

// Points standard output at a file for one scope.
class CapturedStdout {
public:
    explicit CapturedStdout(const std::string& path) {
        std::fflush(stdout);
        m_saved = ::dup(STDOUT_FILENO);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ::dup2(fd, STDOUT_FILENO);
        ::close(fd);
    }
    ~CapturedStdout() {
        ::dup2(m_saved, STDOUT_FILENO);
        ::close(m_saved);
    }

private:
    int m_saved;
};

TEST(Console, LinesFromManyThreadsNeverInterleave) {
    test::TempDir dir;
    constexpr int kThreads = 8;
    constexpr int kLines = 300;
    {
        CapturedStdout capture(dir / "out");
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t] {
                const std::string path = "/data/thread" + std::to_string(t) + "/" +
                                         std::string(static_cast<std::size_t>(50 + t), 'x');
                for (int i = 0; i < kLines; ++i) {
                    EXPECT_TRUE(WriteConsole({path, "/file", std::to_string(i), " [ok]\n"}));
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
    }
    std::istringstream out(test::ReadFile(dir / "out"));
    std::vector<int> next(kThreads, 0);
    std::string line;
    int total = 0;
    while (std::getline(out, line)) {
        const int t = line.at(12) - '0';
        ASSERT_EQ(line, "/data/thread" + std::to_string(t) + "/" +
                            std::string(static_cast<std::size_t>(50 + t), 'x') + "/file" +
                            std::to_string(next[t]++) + " [ok]");
        ++total;
    }
    EXPECT_EQ(total, kThreads * kLines);
}

TEST(Console, ProcessLiveness) {
    EXPECT_TRUE(IsProcessAlive(::getpid()));
    EXPECT_TRUE(IsProcessAlive(1)); // not ours to signal, but alive
    // 0 and negative ids name process groups; they never count as a process.
    EXPECT_FALSE(IsProcessAlive(0));
    EXPECT_FALSE(IsProcessAlive(-1));
    EXPECT_FALSE(IsProcessAlive(-static_cast<long>(::getpgrp())));
    EXPECT_FALSE(IsProcessAlive(1L << 40)); // beyond pid_t

    // A child that has ended and been reaped is gone.
    pid_t pid = 0;
    char arg0[] = "/bin/true";
    char* argv[] = {arg0, nullptr};
    ASSERT_EQ(::posix_spawn(&pid, "/bin/true", nullptr, nullptr, argv, environ), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_FALSE(IsProcessAlive(pid));
}

} // namespace
} // namespace varnolt::platform
