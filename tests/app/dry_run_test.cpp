// --dry-run through the real program: every file read and judged, nothing in
// the user's folders or the temporary folder touched, and the same statuses
// as the real run that follows.
#include "settings/profile.hpp"
#include "support/run_space.hpp"
#include "support/test_support.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace varnolt {
namespace {

using test::WriteFile;
namespace fs = std::filesystem;

// Every entry below a folder (the folder itself included) with its kind,
// size, mode and times to the nanosecond: a file or folder made and removed
// again still moves its folder's times.
std::string Listing(const std::string& root) {
    std::string out;
    const auto add = [&](const fs::path& path) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) {
            out += path.string() + " (gone)\n";
            return;
        }
        out += path.string() + " mode " + std::to_string(info.st_mode) + " size " +
               std::to_string(info.st_size) + " mtime " + std::to_string(info.st_mtim.tv_sec) +
               "." + std::to_string(info.st_mtim.tv_nsec) + " ctime " +
               std::to_string(info.st_ctim.tv_sec) + "." + std::to_string(info.st_ctim.tv_nsec) +
               " links " + std::to_string(info.st_nlink) + "\n";
    };
    add(root);
    std::vector<fs::path> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        entries.push_back(entry.path());
    }
    std::sort(entries.begin(), entries.end());
    for (const auto& path : entries) {
        add(path);
    }
    return out;
}

const std::string kGreek = "\xC3\xE5\xE9\xDC \xF3\xEF\xF5\r\n"; // Γειά σου in 1253

TEST(DryRun, TouchesNothingAndReportsWhatTheRealRunThenDoes) {
    for (int option = 0; option <= 2; ++option) {
        SCOPED_TRACE("option " + std::to_string(option));
        test::RunSpace space;
        const std::string docs = space / "docs";
        fs::create_directories(docs + "/sub");
        fs::create_directories(space / "out");
        WriteFile(docs + "/a.txt", kGreek);
        WriteFile(docs + "/sub/a.txt", kGreek); // same name: meets a.txt in the folder
        WriteFile(docs + "/sub/b.txt", kGreek + kGreek);
        WriteFile(docs + "/bad.txt", "ok \xAA here");          // undefined in 1253
        WriteFile(docs + "/utf8.txt", "\xCE\x93\xCE\xB5\r\n"); // UTF-8: refused by a guard
        WriteFile(docs + "/empty.txt", "");
        WriteFile(docs + "/taken.txt", kGreek);
        // What is already at taken.txt's destination (or backup name).
        static const char* const kArg[] = {"_org_", "_u_", "out"};
        const std::string taken[] = {docs + "/_org_taken.txt", docs + "/_u_taken.txt",
                                     space / "out/taken.txt"};
        WriteFile(taken[option], "keep me");
        space.WriteProfile(
            test::MakeOptions(1253, option, option == 2 ? space / "out" : kArg[option], 2, true));
        const std::vector<std::string> files = {
            docs + "/a.txt",    docs + "/sub/a.txt", docs + "/sub/b.txt", docs + "/bad.txt",
            docs + "/utf8.txt", docs + "/empty.txt", docs + "/taken.txt", docs + "/missing.txt"};

        const std::string before = Listing(space.Root());
        const std::string tempBefore = Listing(space.TempFolder());
        std::vector<std::string> args = files;
        args.insert(args.begin(), "--dry-run");
        const auto dry = space.Run(args);
        EXPECT_EQ(Listing(space.Root()), before);
        EXPECT_EQ(Listing(space.TempFolder()), tempBefore);

        // The console names where each file would go.
        const std::string destination = option == 0   ? docs + "/a.txt"
                                        : option == 1 ? docs + "/_u_a.txt"
                                                      : space / "out/a.txt";
        EXPECT_NE(dry.out.find(docs + "/a.txt -> " + destination + " [ok]\n"), std::string::npos)
            << dry.out;

        const auto real = space.Run(files);
        EXPECT_EQ(dry.exitCode, real.exitCode);
        const auto records = test::ReadLogRecords(space.LogPath());
        ASSERT_EQ(records.size(), 2 * files.size());
        for (std::size_t i = 0; i < files.size(); ++i) {
            SCOPED_TRACE(files[i]);
            EXPECT_EQ(records[i].name, records[files.size() + i].name);
            EXPECT_EQ(records[i].status, records[files.size() + i].status);
        }
        // The statuses are those of a run that did something.
        EXPECT_EQ(records[0].status, "OK");
        EXPECT_EQ(records[4].status, test::StatusText(5017));
        EXPECT_EQ(records[6].status, test::StatusText(option == 0 ? 5004 : 5005));
        EXPECT_NE(Listing(space.Root()), before);
    }
}

TEST(DryRun, WritesNoSettingsFile) {
    test::RunSpace space;
    WriteFile(space / "a.txt", kGreek);
    space.WriteProfile(test::MakeOptions(1253, 1, "_u_", 2, true));
    const std::string settings = test::ReadFile(space.SettingsPath());
    const auto dry = space.Run({"--dry-run", space / "a.txt"});
    EXPECT_EQ(dry.exitCode, 0) << dry.err;
    // The real run stores the defaults it was missing; the dry run does not.
    EXPECT_EQ(test::ReadFile(space.SettingsPath()), settings);
    EXPECT_FALSE(fs::exists(space / "_u_a.txt"));
    const auto real = space.Run({space / "a.txt"});
    EXPECT_EQ(real.exitCode, 0) << real.err;
    EXPECT_NE(test::ReadFile(space.SettingsPath()), settings);
}

} // namespace
} // namespace varnolt
