// Faults during whole `varnolt -u` runs, over every output option and both
// overwrite rules: a full temporary file system, a folder turning read-only
// mid-run, sources that vanish, shrink, fail or are no files at all, a
// destination that is a folder, failing renames. After each run every
// original is safe, no destination is partial, the temporary folder is empty,
// and the log, the console and the exit code name the failure.
#include "output/fault_env.hpp"
#include "platform/text_utf.hpp"
#include "support/run_space.hpp"

#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace varnolt {
namespace {

using test::RunSpace;
using test::SourceCase;

constexpr int kCodePage = 1252;
constexpr int kFormat = 0; // UTF-16LE: the temporary file is twice the source
const char* const kPrefix[] = {"_org_", "_u_", "out"};

std::string ConvertLatin(const std::string& bytes) {
    std::u16string units;
    for (const char c : bytes) {
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    }
    return test::EncodeUnicode(units, kFormat, true);
}

// Four sources f1..f4; the fault aims at f2 (list order: one thread), f3
// meets an existing destination (option 0: an existing backup name).
struct Scenario {
    RunSpace space;
    int option;
    bool overwrite;
    std::vector<SourceCase> sources;
    std::vector<std::string> args;

    Scenario(int outputOption, bool overwriteExisting, std::size_t f2Size = 20000)
        : option(outputOption), overwrite(overwriteExisting) {
        std::filesystem::create_directory(space / "out");
        for (int i = 1; i <= 4; ++i) {
            const std::string name = "f" + std::to_string(i) + ".txt";
            SourceCase s;
            s.path = space / name;
            s.original = test::LatinText(i == 2 ? f2Size : 20000 + static_cast<std::size_t>(i), i);
            s.converted = ConvertLatin(s.original);
            s.destination = option == 2 ? space / ("out/" + name)
                                        : space / (std::string(kPrefix[option]) + name);
            if (i == 3) {
                s.preexisting = "already here\n";
                test::WriteFile(*s.destination, *s.preexisting);
            }
            test::WriteFile(s.path, s.original);
            args.push_back(name);
            sources.push_back(s);
        }
        if (overwrite) {
            args.insert(args.begin(), "-y");
        }
        const std::string arg = option == 2 ? space / "out" : kPrefix[option];
        space.WriteProfile(test::MakeOptions(kCodePage, option, arg, kFormat, true));
    }

    // f3's status from the existing-destination rule alone.
    int F3Status() const {
        if (option == 0) {
            return 5004;
        }
        return overwrite ? 5006 : 5005;
    }
};

// The checks every run must pass, and the records by file name.
std::map<std::string, std::string> CheckRun(const Scenario& s, const test::ProgramResult& r,
                                            const std::vector<SourceCase>& safe,
                                            const std::vector<std::string>& paths) {
    std::map<std::string, std::string> statuses;
    for (const auto& problem : test::CheckNothingLost(s.space.Root(), s.option, safe, {})) {
        ADD_FAILURE() << problem;
    }
    EXPECT_EQ(test::CountEntries(s.space.TempFolder()), 0u) << "temporary files left";
    const auto records = test::ReadLogRecords(s.space.LogPath());
    EXPECT_EQ(records.size(), paths.size());
    for (const auto& record : records) {
        EXPECT_TRUE(statuses.emplace(record.name, record.status).second)
            << "two records for " << record.name;
    }
    for (const auto& path : paths) {
        const std::string shown = EscapeForDisplay(path);
        EXPECT_EQ(statuses.count(shown), 1u) << "no record for " << shown;
        std::size_t lines = 0;
        for (std::size_t at = r.out.find(shown + " ["); at != std::string::npos;
             at = r.out.find(shown + " [", at + 1)) {
            ++lines;
        }
        EXPECT_EQ(lines, 1u) << "console lines for " << shown << ":\n" << r.out;
    }
    return statuses;
}

std::vector<std::string> PathsOf(const std::vector<SourceCase>& sources) {
    std::vector<std::string> paths;
    for (const auto& s : sources) {
        paths.push_back(s.path);
    }
    return paths;
}

int ExitCodeFor(const std::vector<int>& ids) {
    int level = 0;
    for (const int id : ids) {
        level = std::max(level, id == 5012 ? 0 : (id == 5006 || id == 5013) ? 1 : 2);
    }
    return level == 0 ? 0 : level == 1 ? 16 : 160;
}

// A fault aimed at f2 with one expected status for it.
struct TargetedFault {
    const char* what;
    // Prepares the scenario; returns extra environment for the child.
    std::function<std::vector<std::string>(Scenario&)> arrange;
    // f2's status for output option 0, 1, 2 and the rule (false: skip).
    std::function<int(int option, bool overwrite)> f2Status;
    // false: f2 is no regular file (or another program removed it); nothing
    // may appear for it.
    bool f2IsFile = true;
    // Undoes, after the run, what keeps the checks from reading f2.
    std::function<void(Scenario&)> restore = [](Scenario&) {};
};

std::vector<std::string> Fault(const std::string& faults) {
    return {"VARNOLT_FAULT=" + faults};
}

TEST(FaultInjection, EachFaultOverEveryOptionAndRule) {
    auto fixed = [](int id) { return [id](int, bool) { return id; }; };
    const TargetedFault faults[] = {
        // The converted file's folder on a file system without nameless
        // files: every temporary file is made in $TMPDIR instead.
        {"no nameless files beside the converted files",
         [](Scenario&) { return Fault("tmpfile:1+:EOPNOTSUPP"); }, fixed(5012)},
        {"temporary file can be made neither beside the converted file nor in $TMPDIR",
         [](Scenario&) { return Fault("tmpfile:1+:EOPNOTSUPP,create:2:ENOSPC"); }, fixed(5003)},
        {"temporary file write fails mid-file (disk full)",
         [](Scenario&) { return Fault("write:2:ENOSPC"); }, fixed(5010)},
        // The reader reads through the probe's descriptor: a file gone or
        // replaced before that one open cannot be opened as a source (5000).
        {"source vanishes between listing and reading", [](Scenario&) { return Fault("vanish:2"); },
         fixed(5000), false},
        // Without a non-blocking open the run would wait for a writer for ever.
        {"source replaced by a FIFO between listing and reading",
         [](Scenario&) { return Fault("fifo:2"); }, fixed(5000), false},
        {"source read fails (I/O error)", [](Scenario&) { return Fault("read:2:EIO"); },
         fixed(5001)},
        {"source unreadable",
         [](Scenario& s) {
             // Permission bits do not stop root: the seam refuses the open.
             ::chmod(s.sources[1].path.c_str(), 0);
             return ::geteuid() == 0 ? Fault("probe:2:EACCES") : std::vector<std::string>{};
         },
         fixed(5000), true, [](Scenario& s) { ::chmod(s.sources[1].path.c_str(), 0644); }},
        {"source is a folder",
         [](Scenario& s) {
             std::filesystem::remove(s.sources[1].path);
             std::filesystem::create_directory(s.sources[1].path);
             return std::vector<std::string>{};
         },
         fixed(5000), false},
        {"source is a FIFO",
         [](Scenario& s) {
             std::filesystem::remove(s.sources[1].path);
             ::mkfifo(s.sources[1].path.c_str(), 0644);
             return std::vector<std::string>{};
         },
         fixed(5000), false},
        {"destination is a folder",
         [](Scenario& s) {
             std::filesystem::create_directory(*s.sources[1].destination);
             s.sources[1].destination.reset();
             return std::vector<std::string>{};
         },
         [](int option, bool overwrite) { return option == 0 ? 5004
                                                 : overwrite ? 5007
                                                             : 5005; }},
        {"rename into place fails", [](Scenario&) { return Fault("rename:2:EIO"); }, fixed(5007)},
        // Another program changes f2 while the run has it: whatever is at its
        // path is its new original, and nothing of the run may replace it.
        {"source grows while it is read",
         [](Scenario& s) {
             s.sources[1].original += "a line added meanwhile\n";
             s.sources[1].converted.reset();
             return Fault("append:2");
         },
         fixed(5014)},
        {"a new file is saved over the source once it is read",
         [](Scenario& s) {
             s.sources[1].original = "text saved meanwhile\n";
             s.sources[1].converted.reset();
             return Fault("replace:2");
         },
         fixed(5014)},
        {"a new file is saved over the source just before its backup link",
         [](Scenario& s) {
             if (s.option == 0) {
                 s.sources[1].original = "text saved meanwhile\n";
                 s.sources[1].converted.reset();
             }
             return Fault("linkreplace:2");
         },
         [](int option, bool) { return option == 0 ? 5014 : 5012; }},
        {"a new file is saved over the source just after its backup link",
         [](Scenario& s) {
             if (s.option == 0) {
                 s.sources[1].original = "text saved meanwhile\n";
                 s.sources[1].converted.reset();
             }
             return Fault("linkedreplace:2");
         },
         [](int option, bool) { return option == 0 ? 5014 : 5012; }},
        {"flush before the move fails",
         [](Scenario& s) { return Fault(s.option == 0 ? "sync:2:EIO" : "sync:1:EIO"); },
         [](int option, bool) { return option == 0 ? 5007 : 5012; }},
    };
    for (const auto& fault : faults) {
        for (int option = 0; option <= 2; ++option) {
            for (const bool overwrite : {false, true}) {
                SCOPED_TRACE(std::string(fault.what) + ", option " + std::to_string(option) +
                             (overwrite ? ", -y" : ", skip"));
                Scenario s(option, overwrite);
                const std::string f2Path = s.sources[1].path;
                const auto env = fault.arrange(s);
                const auto r = s.space.Run(s.args, env);
                fault.restore(s);
                std::vector<SourceCase> safe = s.sources;
                if (!fault.f2IsFile) {
                    safe.erase(safe.begin() + 1);
                }
                auto statuses = CheckRun(s, r, safe, PathsOf(s.sources));
                int f3 = s.F3Status();
                const int f2 = fault.f2Status(option, overwrite);
                // The flush seam counts the flushes of replacements only.
                if (std::string(fault.what) == "flush before the move fails" && option != 0 &&
                    overwrite) {
                    f3 = 5007;
                }
                const std::vector<int> expected{5012, f2, f3, 5012};
                for (std::size_t i = 0; i < 4; ++i) {
                    EXPECT_EQ(statuses.count(s.sources[i].path) ? statuses.at(s.sources[i].path)
                                                                : "(none)",
                              test::StatusText(expected[i]))
                        << s.sources[i].path;
                }
                EXPECT_EQ(r.exitCode, ExitCodeFor(expected)) << r.err;
                // A folder or FIFO in the source list stays as it was.
                EXPECT_EQ(std::filesystem::exists(f2Path),
                          std::string(fault.what).find("vanish") == std::string::npos);
            }
        }
    }
}

TEST(FaultInjection, SourceShrinkingWhileReadFailsAndStaysAsCut) {
    for (int option = 0; option <= 2; ++option) {
        SCOPED_TRACE("option " + std::to_string(option));
        // Larger than one read block, so the cut falls between two reads.
        Scenario s(option, false, 600000);
        const auto r = s.space.Run(s.args, Fault("shrink:2"));
        // The other program cut f2 to its first half: that half is now the
        // original, and what was read of it may be from either version.
        SourceCase& f2 = s.sources[1];
        f2.original.resize(f2.original.size() / 2);
        f2.converted.reset();
        auto statuses = CheckRun(s, r, s.sources, PathsOf(s.sources));
        EXPECT_EQ(statuses[f2.path], test::StatusText(5014));
        EXPECT_EQ(r.exitCode, 160);
    }
}

TEST(FaultInjection, Utf16SourceShrinkingWhileReadFails) {
    RunSpace space;
    std::u16string text(300000, u'\u00E9');
    const std::string bytes = test::EncodeUnicode(text, 0, false);
    test::WriteFile(space / "a.txt", bytes);
    space.WriteProfile(test::MakeOptions(1200, 1, "_u_", 2, false));
    const auto r = space.Run({"a.txt"}, Fault("shrink:1"));
    EXPECT_EQ(r.exitCode, 160);
    const auto records = test::ReadLogRecords(space.LogPath());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].status, test::StatusText(5001));
    EXPECT_FALSE(std::filesystem::exists(space / "_u_a.txt"));
    EXPECT_EQ(test::CountEntries(space.TempFolder()), 0u);
}

// UTF-16 is read up to the length seen at the open: text added meanwhile
// would silently be left out of the converted file.
TEST(FaultInjection, Utf16SourceGrowingWhileReadFails) {
    RunSpace space;
    const std::string bytes = test::EncodeUnicode(std::u16string(300000, u'\u00E9'), 0, false);
    test::WriteFile(space / "a.txt", bytes);
    space.WriteProfile(test::MakeOptions(1200, 1, "_u_", 2, false));
    const auto r = space.Run({"a.txt"}, Fault("append:1"));
    EXPECT_EQ(r.exitCode, 160);
    const auto records = test::ReadLogRecords(space.LogPath());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].status, test::StatusText(5014));
    EXPECT_EQ(test::ReadFile(space / "a.txt"), bytes + "a line added meanwhile\n");
    EXPECT_FALSE(std::filesystem::exists(space / "_u_a.txt"));
    EXPECT_EQ(test::CountEntries(space.TempFolder()), 0u);
}

TEST(FaultInjection, TemporaryFileSystemFillsUpMidFile) {
    for (int option = 0; option <= 2; ++option) {
        for (const bool overwrite : {false, true}) {
            SCOPED_TRACE("option " + std::to_string(option) + (overwrite ? ", -y" : ", skip"));
            // f2 (300 kB, 600 kB converted) cannot fit a 256 kB temporary
            // file system; the others can, one at a time.
            Scenario s(option, overwrite, 300000);
            std::vector<std::string> env;
            std::optional<test::TmpfsMount> mount;
            if (test::CanMount()) {
                const std::string small = s.space / "../smalltmp";
                std::filesystem::create_directory(small);
                mount.emplace(small, "256k");
                ASSERT_TRUE(mount->Mounted());
                s.space.SetTempFolder(small);
                // Only a destination without nameless files sends the
                // temporary files to $TMPDIR.
                env = Fault("tmpfile:1+:EOPNOTSUPP");
            } else {
                env = Fault("write:2:ENOSPC"); // the first flush of f2
            }
            const auto r = s.space.Run(s.args, env);
            auto statuses = CheckRun(s, r, s.sources, PathsOf(s.sources));
            EXPECT_EQ(statuses[s.sources[1].path], test::StatusText(5010));
            EXPECT_EQ(statuses[s.sources[0].path], test::StatusText(5012));
            EXPECT_EQ(r.exitCode, 160);
        }
    }
}

// Waits until the child printed `lines` console lines (or ended).
void WaitForLines(const test::Child& child, std::size_t lines) {
    for (int i = 0; i < 20000; ++i) {
        std::string out;
        try {
            out = test::ReadFile(child.outPath);
        } catch (...) {
        }
        if (static_cast<std::size_t>(std::count(out.begin(), out.end(), '\n')) >= lines) {
            return;
        }
        int status = 0;
        if (::waitpid(child.pid, &status, WNOHANG) == child.pid) {
            ADD_FAILURE() << "the run ended before the folder turned read-only";
            return;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

TEST(FaultInjection, OutputFolderTurnsReadOnlyMidRun) {
    for (int option = 0; option <= 2; ++option) {
        for (const bool overwrite : {false, true}) {
            SCOPED_TRACE("option " + std::to_string(option) + (overwrite ? ", -y" : ", skip"));
            Scenario s(option, overwrite);
            // Many more files, so the folder turns read-only while the run
            // is busy.
            for (int i = 5; i <= 160; ++i) {
                const std::string name = "g" + std::to_string(i) + ".txt";
                SourceCase c;
                c.path = s.space / name;
                c.original = test::LatinText(30000, static_cast<unsigned>(i));
                c.converted = ConvertLatin(c.original);
                c.destination =
                    option == 2 ? s.space / ("out/" + name) : s.space / (kPrefix[option] + name);
                test::WriteFile(c.path, c.original);
                s.args.push_back(name);
                s.sources.push_back(c);
            }
            const std::string folder = option == 2 ? s.space / "out" : s.space.Root();
            std::vector<std::string> env;
            // Freezing the folder needs CAP_LINUX_IMMUTABLE and a file system
            // with the attribute; without them the seam refuses the renames
            // and links instead.
            const bool real = test::ImmutableFolder(folder).Set();
            if (!real) {
                if (option == 0 && !overwrite) {
                    std::cout << "[ note ] no immutable folders here: the fault seam stands in\n";
                }
                env = Fault("rename:8+:EROFS,link:8+:EROFS");
            }
            test::Child child = s.space.Start(s.args, env);
            std::optional<test::ImmutableFolder> frozen;
            if (real) {
                WaitForLines(child, 6);
                frozen.emplace(folder);
                ASSERT_TRUE(frozen->Set());
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child.pid, &status, 0), child.pid);
            frozen.reset();
            test::ProgramResult r;
            r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            r.out = test::ReadFile(child.outPath);
            r.err = test::ReadFile(child.errPath);
            EXPECT_EQ(r.exitCode, 160) << r.err;
            std::size_t refused = 0;
            for (const auto& record : test::ReadLogRecords(s.space.LogPath())) {
                refused += record.status == test::StatusText(option == 0 ? 5004 : 5007) ||
                           record.status == test::StatusText(5007);
                // Option 0: when the folder froze between making the backup
                // link and moving the result in, the link cannot be removed
                // again; the original is still at its path.
                for (auto& c : s.sources) {
                    if (record.name == c.path && option == 0 &&
                        record.status == test::StatusText(5007)) {
                        c.backupMayRemain = true;
                    }
                }
            }
            EXPECT_GT(refused, 0u) << "no file met the read-only folder";
            CheckRun(s, r, s.sources, PathsOf(s.sources));
        }
    }
}

} // namespace
} // namespace varnolt

namespace varnolt {
namespace {

// A log path that names an original the run converted (in option 0 the
// backup the original becomes) must not get the log appended to it: the run
// converts, then reports the log as not written (155). A log path that names
// a listed source (by name or by link) is the log: that source is left as it
// is (5015) and the log goes into it as usual.
TEST(FaultInjection, LogPathNamingAnOriginalNeverWritesIntoIt) {
    for (int option = 0; option <= 2; ++option) {
        for (const std::string logName : {"a.txt", "_org_a.txt", "link-to-a.txt"}) {
            if (logName == "_org_a.txt" && option != 0) {
                continue;
            }
            SCOPED_TRACE("option " + std::to_string(option) + ", log " + logName);
            Scenario s(option, false);
            const std::string original = "the user's notes\r\n";
            test::WriteFile(s.space / "a.txt", original);
            if (logName == "link-to-a.txt") { // another name of the same file
                ASSERT_EQ(::link((s.space / "a.txt").c_str(), (s.space / logName).c_str()), 0);
            }
            const auto run = s.space.Run({"-l", logName, "f1.txt", "a.txt"});
            const std::string a = test::ReadFile(s.space / "a.txt");
            if (logName == "_org_a.txt") {
                EXPECT_EQ(run.exitCode, 155) << run.err;
                EXPECT_EQ(test::ReadFile(s.space / "_org_a.txt"), original);
                EXPECT_EQ(a, ConvertLatin(original));
            } else {
                EXPECT_EQ(run.exitCode, 160) << run.err;
                EXPECT_EQ(a.substr(0, original.size()), original);
                const auto records = test::ReadLogRecords(s.space / logName);
                ASSERT_EQ(records.size(), 2u);
                EXPECT_EQ(records[1].name, s.space / "a.txt");
                EXPECT_EQ(records[1].status, test::StatusText(5015));
                EXPECT_FALSE(std::filesystem::exists(s.space / "_org_a.txt"));
                EXPECT_FALSE(std::filesystem::exists(s.space / "_u_a.txt"));
                EXPECT_FALSE(std::filesystem::exists(s.space / "out/a.txt"));
            }
            // The other file converted as usual.
            EXPECT_EQ(test::ReadFile(option == 0 ? s.sources[0].path : *s.sources[0].destination),
                      *s.sources[0].converted);
        }
    }
}

} // namespace
} // namespace varnolt
