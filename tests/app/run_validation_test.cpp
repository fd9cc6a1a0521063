// Checks of a non-interactive run's options: prefixes, output folder, order.
#include "app/run_validation.hpp"
#include "output/fault_env.hpp"
#include "support/test_support.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnolt {
namespace {

TEST(RunValidation, Prefixes) {
    const std::pair<std::string, bool> cases[] = {
        {"bak_", true},
        {" spaced ", true},
        {std::string(127, 'p'), true},
        {std::string(128, 'p'), false},
        {"\xE6\x96\xB0" + std::string(126, 'p'), true},      // 127 units, 129 bytes
        {"\xF0\x9F\x98\x80" + std::string(126, 'p'), false}, // a pair: 128 units
        {"", false},
    };
    for (const auto& [prefix, valid] : cases) {
        EXPECT_EQ(IsValidPrefix(prefix), valid) << prefix;
    }
    for (const char bad : std::string("\\/:*?\"<>|")) {
        EXPECT_FALSE(IsValidPrefix(std::string("a") + bad + "b")) << bad;
    }
}

TEST(RunValidation, OutputFolderNormalisation) {
    const std::pair<std::string, std::string> cases[] = {
        {"out", "out/"},   {"/srv/out/", "/srv/out/"}, {"  \"  /srv/my out  \"  ", "/srv/my out/"},
        {"\"\"", "\"\"/"}, // two characters: not a quoted name
        {"\"a\"", "a/"},   {"\"out", "\"out/"},        {"   ", ""},
        {"", ""},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(NormaliseOutputFolder(in), out) << in;
    }
}

TEST(RunValidation, ExitCodesInOrder) {
    test::TempDir dir;
    std::filesystem::create_directory(dir / "ro");
    ::chmod((dir / "ro").c_str(), 0555);
    const bool root = ::geteuid() == 0; // root writes anywhere
    struct Case {
        std::size_t files;
        std::int32_t codePage, option;
        std::string arg;
        std::int32_t code;
    };
    const Case cases[] = {
        {0, 99999, 0, "", 142},
        {1, 99999, 0, "bak_", 144},
        {1, 1259, 0, "bak_", 144},
        {1, 59999, 0, "bak_", 0},
        {1, 1200, 1, "new_", 0},
        {1, 1201, 0, "a/b", 146},
        {1, 932, 1, "", 148},
        {1, 1252, 2, " \"" + dir.Path() + "\" ", 0},
        {1, 1252, 2, dir / "missing", 150},
        {1, 1252, 2, "", 150},
        {1, 1252, 2, dir / "ro", root ? 0 : 150},
    };
    for (const auto& c : cases) {
        ProfileRunOptions options;
        options.nCodePage = c.codePage;
        options.nOutputOption = c.option;
        options.strOutputArg = c.arg;
        EXPECT_EQ(ValidateRunOptions(c.files, options), c.code) << c.codePage << " " << c.arg;
    }
    ProfileRunOptions quoted;
    quoted.nCodePage = 1252;
    quoted.nOutputOption = 2;
    quoted.strOutputArg = "  \"" + dir.Path() + "\"";
    ASSERT_EQ(ValidateRunOptions(1, quoted), 0);
    EXPECT_EQ(quoted.strOutputArg, dir.Path() + "/");
}

// Root passes every permission check, so a folder only refuses root's writes
// when it is on a read-only file system or immutable.
ProfileRunOptions ToFolder(const std::string& folder) {
    ProfileRunOptions options;
    options.nCodePage = 1252;
    options.nOutputOption = 2;
    options.strOutputArg = folder;
    return options;
}

TEST(RunValidation, OutputFolderOnAReadOnlyMountIsRefused) {
    test::TempDir dir;
    std::filesystem::create_directory(dir / "mnt");
    if (!test::CanMount()) {
        GTEST_SKIP() << "needs root with CAP_SYS_ADMIN for a mount in a private mount namespace";
    }
    test::TmpfsMount mount(dir / "mnt", "64k");
    ASSERT_TRUE(mount.Mounted());
    ProfileRunOptions writable = ToFolder(dir / "mnt");
    EXPECT_EQ(ValidateRunOptions(1, writable), 0);
    ASSERT_TRUE(mount.MakeReadOnly());
    ProfileRunOptions readOnly = ToFolder(dir / "mnt");
    EXPECT_EQ(ValidateRunOptions(1, readOnly), 150);
}

TEST(RunValidation, ImmutableOutputFolderIsRefused) {
    test::TempDir dir;
    std::filesystem::create_directory(dir / "frozen");
    test::ImmutableFolder frozen(dir / "frozen");
    if (!frozen.Set()) {
        GTEST_SKIP() << "needs CAP_LINUX_IMMUTABLE and a file system with the immutable attribute";
    }
    ProfileRunOptions options = ToFolder(dir / "frozen");
    EXPECT_EQ(ValidateRunOptions(1, options), 150);
}

} // namespace
} // namespace varnolt
