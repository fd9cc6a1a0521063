// Whole runs through the front end where the run's own files meet each
// other: a source that is another source's destination, the profile and the
// log in the file list, the log aimed at a converted file, and the system's
// reason beside a failed backup.
#include "settings/profile.hpp"
#include "support/run_space.hpp"
#include "support/test_support.hpp"

#include <filesystem>
#include <gtest/gtest.h>

namespace varnolt {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;
namespace fs = std::filesystem;

// 1251 text and its UTF-8 conversion (with a byte-order mark).
const std::string kCyrillic = "\xCF\xF0\xE8\xE2\xE5\xF2\r\n"; // Привет
const std::string kCyrillicUtf8 =
    "\xEF\xBB\xBF\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\r\n";

struct Folder {
    TempDir dir;

    void Profile(const std::string& name, int option, const std::string& arg) const {
        WriteFile(dir / name, FormatProfile(test::MakeOptions(1251, option, arg, 2, true)));
    }
    test::ProgramResult Front(const std::vector<std::string>& args) const {
        return test::RunProgram(XVARNOLT_EXE_PATH, args, dir.Path(),
                                {"VARNOLT_SETTINGS=" + (dir / "settings.reg"),
                                 std::string("VARNOLT_EXE=") + VARNOLT_EXE_PATH});
    }
    // Status of the one record for `path` in a log (relative to the folder).
    std::string Status(const std::string& log, const std::string& path) const {
        std::string status = "(no record)";
        for (const auto& record : test::ReadLogRecords(dir / log)) {
            if (record.name == dir / path) {
                status = record.status;
            }
        }
        return status;
    }
};

TEST(RunFiles, NoSourceIsReplacedByAnotherFilesOutput) {
    {
        SCOPED_TRACE("prefixed copy: one source is another's prefixed name");
        Folder f;
        fs::create_directory(f.dir / "src");
        WriteFile(f.dir / "src/report.txt", kCyrillic);
        WriteFile(f.dir / "src/new_report.txt", "\xE0 second original\r\n");
        f.Profile("p1.vnp", 1, "new_");
        const auto r =
            f.Front({"-c", "p1.vnp", "-l", "l.log", "-y", "src/report.txt", "src/new_report.txt"});
        EXPECT_EQ(r.exitCode, 160) << r.out << r.err;
        EXPECT_EQ(ReadFile(f.dir / "src/report.txt"), kCyrillic);
        EXPECT_EQ(ReadFile(f.dir / "src/new_report.txt"), "\xE0 second original\r\n");
        EXPECT_EQ(f.Status("l.log", "src/report.txt"), test::StatusText(5005));
        EXPECT_EQ(f.Status("l.log", "src/new_report.txt"), "OK");
        EXPECT_EQ(ReadFile(f.dir / "src/new_new_report.txt"),
                  "\xEF\xBB\xBF\xD0\xB0 second original\r\n");
    }
    {
        SCOPED_TRACE("output folder inside the searched tree");
        Folder f;
        fs::create_directories(f.dir / "docs/2023");
        WriteFile(f.dir / "docs/notes.txt", kCyrillic);
        WriteFile(f.dir / "docs/2023/notes.txt", "\xE0 last year\r\n");
        WriteFile(f.dir / "docs/plan.txt", kCyrillic);
        f.Profile("p2.vnp", 2, f.dir / "docs/2023");
        const auto r = f.Front({"-c", "p2.vnp", "-l", "l.log", "-y", "-s", "docs/*.txt"});
        EXPECT_EQ(r.exitCode, 160) << r.out << r.err;
        EXPECT_EQ(ReadFile(f.dir / "docs/notes.txt"), kCyrillic);
        EXPECT_EQ(ReadFile(f.dir / "docs/2023/notes.txt"), "\xE0 last year\r\n");
        EXPECT_EQ(f.Status("l.log", "docs/notes.txt"), test::StatusText(5005));
        EXPECT_EQ(f.Status("l.log", "docs/2023/notes.txt"), test::StatusText(5005));
        EXPECT_EQ(f.Status("l.log", "docs/plan.txt"), "OK");
        EXPECT_EQ(ReadFile(f.dir / "docs/2023/plan.txt"), kCyrillicUtf8);
    }
}

TEST(RunFiles, ProfileAndLogAreNeverConverted) {
    Folder f;
    f.Profile("ru.vnp", 0, "_org_");
    const std::string profile = ReadFile(f.dir / "ru.vnp");
    WriteFile(f.dir / "a.txt", kCyrillic);
    WriteFile(f.dir / "old.log", "");
    // What "xvarnolt -c ru.vnp *" hands over: every name of the folder.
    const auto r = f.Front({"-c", "ru.vnp", "-l", "old.log", "a.txt", "old.log", "ru.vnp"});
    EXPECT_EQ(r.exitCode, 160) << r.out << r.err;
    EXPECT_EQ(ReadFile(f.dir / "ru.vnp"), profile);
    EXPECT_FALSE(fs::exists(f.dir / "_org_ru.vnp"));
    EXPECT_FALSE(fs::exists(f.dir / "_org_old.log"));
    EXPECT_EQ(f.Status("old.log", "ru.vnp"), test::StatusText(5015));
    EXPECT_EQ(f.Status("old.log", "old.log"), test::StatusText(5015));
    EXPECT_EQ(f.Status("old.log", "a.txt"), "OK");
    EXPECT_EQ(ReadFile(f.dir / "a.txt"), kCyrillicUtf8);

    // The profile still works: the next run converts with it.
    WriteFile(f.dir / "b.txt", kCyrillic);
    EXPECT_EQ(f.Front({"-c", "ru.vnp", "b.txt"}).exitCode, 0);
    EXPECT_EQ(ReadFile(f.dir / "b.txt"), kCyrillicUtf8);
}

TEST(RunFiles, LogIsNeverWrittenIntoAFileTheRunProduced) {
    Folder f;
    fs::create_directory(f.dir / "src");
    WriteFile(f.dir / "src/a.txt", kCyrillic);
    f.Profile("p1.vnp", 1, "u_");
    const auto r = f.Front({"-c", "p1.vnp", "-l", "src/u_a.txt", "src/a.txt"});
    EXPECT_EQ(r.exitCode, 155) << r.out << r.err;
    EXPECT_EQ(ReadFile(f.dir / "src/u_a.txt"), kCyrillicUtf8);
    EXPECT_EQ(ReadFile(f.dir / "src/a.txt"), kCyrillic);
}

TEST(RunFiles, LogIsNeverWrittenIntoTheProfile) {
    Folder f;
    WriteFile(f.dir / "a.txt", kCyrillic);
    f.Profile("p1.vnp", 1, "u_");
    const std::string profile = ReadFile(f.dir / "p1.vnp");
    fs::create_symlink("p1.vnp", f.dir / "link.log");
    for (const char* log : {"p1.vnp", "link.log"}) {
        SCOPED_TRACE(log);
        fs::remove(f.dir / "u_a.txt");
        const auto r = f.Front({"-c", "p1.vnp", "-l", log, "a.txt"});
        EXPECT_EQ(r.exitCode, 155) << r.out << r.err;
        EXPECT_EQ(ReadFile(f.dir / "p1.vnp"), profile);
        EXPECT_EQ(ReadFile(f.dir / "u_a.txt"), kCyrillicUtf8);
    }
}

TEST(RunFiles, FailedBackupShowsTheSystemsReasonButTheLogKeepsItsText) {
    test::RunSpace space;
    WriteFile(space / "a.txt", kCyrillic);
    WriteFile(space / "b.txt", kCyrillic);
    space.WriteProfile(test::MakeOptions(1251, 0, "_org_", 2, true));
    // The backup link of a.txt is refused as a read-only folder would refuse it.
    const auto r = space.Run({"a.txt", "b.txt"}, {"VARNOLT_FAULT=link:1:EROFS"});
    EXPECT_EQ(r.exitCode, 160);
    EXPECT_NE(r.out.find(space / "a.txt [failed] (Read-only file system)\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(space / "b.txt [ok]\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(space / "a.txt: Unable to backup the original file. Does the file "
                                 "already exist?? (Read-only file system)\n"),
              std::string::npos)
        << r.err;
    const auto records = test::ReadLogRecords(space.LogPath());
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].status, test::StatusText(5004));
    EXPECT_EQ(ReadFile(space / "a.txt"), kCyrillic);
}

} // namespace
} // namespace varnolt
