// Naming a nameless file: the same outcome whether the kernel lets this
// process link the descriptor itself or only its /proc path.
#include "platform/file_io.hpp"
#include "support/test_support.hpp"

#include <cerrno>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace varnolt::platform {
namespace {

using test::ReadFile;
using test::TempDir;

// A complete nameless file with `text`; -1 where the file system has none.
int NamelessWith(const std::string& folder, const std::string& text) {
    int fd = -1;
    if (CreateNamelessTempFile(folder, fd, 0644) != 0) {
        return -1;
    }
    EXPECT_EQ(WriteAll(fd, text.data(), text.size()), 0);
    return fd;
}

TEST(NamelessFile, LinkRefusesAnExistingNameAndReplaceTakesIt) {
    TempDir dir;
    const int first = NamelessWith(dir.Path(), "first");
    if (first < 0) {
        GTEST_SKIP() << "needs nameless files in the test folder";
    }
    EXPECT_EQ(NameAnonymousFile(first, dir / "a.txt", false), 0);
    EXPECT_EQ(ReadFile(dir / "a.txt"), "first");
    const int second = NamelessWith(dir.Path(), "second");
    EXPECT_EQ(NameAnonymousFile(second, dir / "a.txt", false), EEXIST);
    EXPECT_EQ(ReadFile(dir / "a.txt"), "first");
    EXPECT_EQ(NameAnonymousFile(second, dir / "a.txt", true), 0);
    EXPECT_EQ(ReadFile(dir / "a.txt"), "second");
    // A folder that went away fails the link, however it is made.
    EXPECT_EQ(NameAnonymousFile(second, dir / "gone/b.txt", false), ENOENT);
    ::close(first);
    ::close(second);
}

// A process that may not link a descriptor opened under other credentials
// (here: a user other than the one that made the file) still names it.
TEST(NamelessFile, NamedThroughProcWhereTheDescriptorMayNotBeLinked) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to hand a descriptor to another user";
    }
    TempDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
    const int fd = NamelessWith(dir.Path(), "converted");
    if (fd < 0) {
        GTEST_SKIP() << "needs nameless files in the test folder";
    }
    constexpr uid_t kNobody = 65534;
    // The child's exit code: the link's errno, else one of these.
    constexpr int kSetupFailed = 200;
    constexpr int kUnreachable = 201;
    // Their own file, as a user's converted file is: hard links to another
    // user's file may be refused (protected_hardlinks).
    ASSERT_EQ(::fchown(fd, kNobody, kNobody), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A changed user makes the process undumpable, which would close
        // its own /proc/self/fd to it; a normal user's process is dumpable.
        if (::setresgid(kNobody, kNobody, kNobody) != 0 ||
            ::setresuid(kNobody, kNobody, kNobody) != 0 || ::prctl(PR_SET_DUMPABLE, 1) != 0) {
            ::_exit(kSetupFailed);
        }
        if (::access(dir.Path().c_str(), W_OK | X_OK) != 0) {
            ::_exit(kUnreachable); // a folder above the test folder is closed to that user
        }
        ::_exit(NameAnonymousFile(fd, dir / "a.txt", false));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == kUnreachable) {
        GTEST_SKIP() << "the test folder is not reachable for another user";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "the link's errno, or " << kSetupFailed << ": no user change";
    EXPECT_EQ(ReadFile(dir / "a.txt"), "converted");
    ::close(fd);
}

} // namespace
} // namespace varnolt::platform
