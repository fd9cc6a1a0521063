// Space set aside ahead of a large file's writes: the file's size and bytes
// are what was written, and nothing set aside stays past its end.
#include "platform/file_io.hpp"
#include "support/test_support.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace varnolt {
namespace {

struct stat StatOf(int fd) {
    struct stat st {};
    EXPECT_EQ(::fstat(fd, &st), 0);
    return st;
}

TEST(ReserveSpace, SetsAsideWithoutGrowingTheFileAndGivesTheRestBack) {
    const test::TempDir dir;
    const std::string path = dir / "large";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    constexpr std::uint64_t kLength = 16 << 20;
    if (!platform::ReserveSpace(fd, 0, kLength)) {
        ::close(fd);
        GTEST_SKIP() << "the test folder is not on ext4 with room to set space aside";
    }
    EXPECT_EQ(StatOf(fd).st_size, 0);
    EXPECT_GE(static_cast<std::uint64_t>(StatOf(fd).st_blocks) * 512, kLength);
    const std::string bytes(1 << 20, 'x');
    ASSERT_EQ(platform::WriteAll(fd, bytes.data(), bytes.size()), 0);
    ASSERT_EQ(platform::WriteAll(fd, "end", 3), 0);
    platform::ReleaseReservedSpace(fd);
    const struct stat st = StatOf(fd);
    EXPECT_EQ(st.st_size, (1 << 20) + 3);
    // The bytes written, in whole blocks, and no more.
    EXPECT_LT(static_cast<std::uint64_t>(st.st_blocks) * 512, (1u << 20) + 64 * 1024);
    ::close(fd);
    EXPECT_EQ(test::ReadFile(path), bytes + "end");
}

} // namespace
} // namespace varnolt
