// Whole non-interactive runs through the real programs: exit codes, console
// lines, the log, and byte-exact converted files.
#include "settings/profile.hpp"
#include "support/run_space.hpp"
#include "support/test_support.hpp"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnolt {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

struct Workspace {
    TempDir dir;
    std::vector<std::string> Env() const { return {"VARNOLT_SETTINGS=" + (dir / "settings.reg")}; }

    void Profile(const std::string& name, const ProfileOptions& options) const {
        WriteFile(dir / name, FormatProfile(options));
    }
    test::ProgramResult Varnolt(std::vector<std::string> args) const {
        args.insert(args.begin(), "-u");
        return test::RunProgram(VARNOLT_EXE_PATH, args, dir.Path(), Env());
    }
    test::ProgramResult Front(const std::vector<std::string>& args) const {
        auto env = Env();
        env.push_back(std::string("VARNOLT_EXE=") + VARNOLT_EXE_PATH);
        return test::RunProgram(XVARNOLT_EXE_PATH, args, dir.Path(), env);
    }
    // The log file as UTF-8 (it is UTF-16LE with a byte-order mark).
    std::string Log(const std::string& name = "varnolt.log") const {
        const std::string bytes = ReadFile(dir / name);
        std::string out;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const unsigned unit = static_cast<unsigned char>(bytes[i]) |
                                  (static_cast<unsigned char>(bytes[i + 1]) << 8);
            if (unit < 0x80) {
                out.push_back(static_cast<char>(unit));
            } else {
                out += "?";
            }
        }
        return out;
    }
};

// Profiles of these runs always write a byte-order mark.
ProfileOptions Options(int codePage, int outputOption, const std::string& arg, int format = 2) {
    return test::MakeOptions(codePage, outputOption, arg, format, true);
}

TEST(NonInteractiveRun, ExitCodesFromTheirCauses) {
    struct Case {
        const char* what;
        ProfileOptions options;
        std::vector<std::string> args;
        int exitCode;
        std::string stderrHas = {}; // empty: nothing on standard error
    };
    const std::string prefix127(127, 'p');
    const std::string prefix128(128, 'p');
    const Case cases[] = {
        {"all ok", Options(1252, 1, "_u_"), {"-c", "p.vnp", "good.txt"}, 0, ""},
        {"warning: empty file", Options(1252, 1, "_u_"), {"-c", "p.vnp", "empty.txt"}, 16, ""},
        // A failed file says where and why, on standard error too.
        {"error: invalid byte",
         Options(932, 1, "_u_"),
         {"-c", "p.vnp", "bad932.txt"},
         160,
         "/bad932.txt: Invalid character is found during Unicode conversion (invalid byte "
         "sequence 81 7F at offset 3)\n"},
        {"no profile", Options(1252, 1, "_u_"), {"good.txt"}, 132, ""},
        {"profile missing",
         Options(1252, 1, "_u_"),
         {"-c", "none.vnp", "good.txt"},
         140,
         "/none.vnp\": it does not exist\n"},
        {"no files", Options(1252, 1, "_u_"), {"-c", "p.vnp"}, 142, ""},
        // An empty argument is an entry: its record has no name to show.
        {"empty argument", Options(1252, 1, "_u_"), {"-c", "p.vnp", ""}, 0, ""},
        {"code page", Options(1259, 1, "_u_"), {"-c", "p.vnp", "good.txt"}, 144, ""},
        {"backup prefix", Options(1252, 0, "a/b"), {"-c", "p.vnp", "good.txt"}, 146, ""},
        {"prefix 128", Options(1252, 1, prefix128), {"-c", "p.vnp", "good.txt"}, 148, ""},
        {"prefix 127", Options(1252, 1, prefix127), {"-c", "p.vnp", "good.txt"}, 0, ""},
        {"folder missing",
         Options(1252, 2, "nowhere"),
         {"-c", "p.vnp", "good.txt"},
         150,
         "varnolt: cannot use the output folder \"/"},
        {"folder is a file",
         Options(1252, 2, "good.txt"),
         {"-c", "p.vnp", "good.txt"},
         150,
         "/good.txt/\": it is not a folder\n"},
        {"quoted folder", Options(1252, 2, "  \"out dir\" "), {"-c", "p.vnp", "good.txt"}, 0, ""},
        {"log folder missing",
         Options(1252, 1, "_u_"),
         {"-c", "p.vnp", "-l", "no/such/dir/x.log", "good.txt"},
         155},
        {"ArmSCII-8", Options(59999, 1, "_u_"), {"-c", "p.vnp", "good.txt"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Workspace run;
        WriteFile(run.dir / "good.txt", "plain text\r\n");
        WriteFile(run.dir / "empty.txt", "");
        WriteFile(run.dir / "bad932.txt", "ok \x81\x7F here");
        ASSERT_EQ(::mkdir((run.dir / "out dir").c_str(), 0755), 0);
        run.Profile("p.vnp", c.options);
        const auto r = run.Varnolt(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        // Without a console a run answers through its exit code and log; only
        // a run that cannot start says why on standard error.
        if (c.stderrHas.empty()) {
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_NE(r.err.find(c.stderrHas), std::string::npos) << r.err;
        }
        if (c.exitCode == 150) {
            EXPECT_NE(r.err.find(run.dir / c.options.strOutputFolder), std::string::npos) << r.err;
        }
    }
}

// A FIFO as profile or log is refused at once (140, 155), and as settings
// file it is passed over (the defaults hold), with or without a
// process on its other end; the run is limited in time so that a regression
// fails here instead of hanging the suite.
TEST(NonInteractiveRun, FifoAsProfileLogOrSettingsNeverBlocks) {
    const std::string timeout = "/usr/bin/timeout";
    if (::access(timeout.c_str(), X_OK) != 0) {
        GTEST_SKIP() << "needs " << timeout << " to bound the run";
    }
    for (const bool peer : {false, true}) {
        SCOPED_TRACE(peer ? "a process holds the other end" : "nobody on the other end");
        Workspace run;
        WriteFile(run.dir / "good.txt", "text");
        run.Profile("p.vnp", Options(1252, 1, "_u_"));
        for (const char* name : {"fifo.vnp", "fifo.log", "fifo.reg"}) {
            ASSERT_EQ(::mkfifo((run.dir / name).c_str(), 0600), 0);
        }
        // O_RDWR never blocks on a FIFO and stands for a reader and a writer.
        const int held = peer ? ::open((run.dir / "fifo.log").c_str(), O_RDWR | O_CLOEXEC) : -1;
        const int heldProfile =
            peer ? ::open((run.dir / "fifo.vnp").c_str(), O_RDWR | O_CLOEXEC) : -1;
        const int heldSettings =
            peer ? ::open((run.dir / "fifo.reg").c_str(), O_RDWR | O_CLOEXEC) : -1;
        const auto varnolt = [&](const std::vector<std::string>& args,
                                 std::vector<std::string> env = {}) {
            std::vector<std::string> all{"-s", "KILL", "30", VARNOLT_EXE_PATH, "-u"};
            all.insert(all.end(), args.begin(), args.end());
            if (env.empty()) {
                env = run.Env();
            }
            return test::RunProgram(timeout, all, run.dir.Path(), env);
        };
        auto r = varnolt({"-c", "fifo.vnp", "good.txt"});
        EXPECT_EQ(r.exitCode, 140) << r.err;
        EXPECT_NE(r.err.find("/fifo.vnp\": it is not a regular file\n"), std::string::npos)
            << r.err;
        r = varnolt({"-c", "p.vnp", "-l", "fifo.log", "good.txt"});
        EXPECT_EQ(r.exitCode, 155) << r.err;
        // The file itself was converted; only the log could not be written.
        EXPECT_EQ(ReadFile(run.dir / "_u_good.txt"), "\xEF\xBB\xBFtext");
        // A settings file that is a FIFO is no settings file: the run goes
        // on with the defaults and leaves it as it is.
        WriteFile(run.dir / "other.txt", "more");
        r = varnolt({"-c", "p.vnp", "other.txt"}, {"VARNOLT_SETTINGS=" + (run.dir / "fifo.reg")});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(ReadFile(run.dir / "_u_other.txt"), "\xEF\xBB\xBFmore");
        struct stat info {};
        EXPECT_EQ(::lstat((run.dir / "fifo.reg").c_str(), &info), 0);
        EXPECT_TRUE(S_ISFIFO(info.st_mode));
        if (peer) {
            ::close(held);
            ::close(heldProfile);
            ::close(heldSettings);
        }
    }
}

TEST(NonInteractiveRun, ProfileOfAFutureVersionIsReportedThenRefused) {
    Workspace run;
    WriteFile(run.dir / "good.txt", "x");
    std::string bytes = FormatProfile(Options(1252, 1, "_u_"));
    // The version line follows the signature line: "2" -> "3".
    const std::size_t at = bytes.find(std::string("\n\0"
                                                  "2\0",
                                                  4));
    ASSERT_NE(at, std::string::npos);
    bytes[at + 2] = '3';
    WriteFile(run.dir / "p.vnp", bytes);
    const auto r = run.Varnolt({"-c", "p.vnp", "good.txt"});
    EXPECT_EQ(r.exitCode, 140);
    EXPECT_NE(r.err.find("The specified config profile is invalid. "), std::string::npos);

    WriteFile(run.dir / "p.vnp", "not a profile at all");
    const auto r2 = run.Varnolt({"-c", "p.vnp", "good.txt"});
    EXPECT_EQ(r2.exitCode, 140);
    EXPECT_EQ(r2.err, "varnolt: cannot use the profile \"" + (run.dir / "p.vnp") +
                          "\": it does not begin with the profile signature\n");
}

TEST(NonInteractiveRun, MixedFolderThroughTheFrontEnd) {
    Workspace run;
    const std::string sjis = "\x93\xfa\x96\x7b\x8c\xea\r\n"; // 日本語
    WriteFile(run.dir / "good.txt", sjis);
    WriteFile(run.dir / "empty.txt", "");
    WriteFile(run.dir / "bad.txt", "ok \x81\x7F here");
    WriteFile(run.dir / "taken.txt", sjis);
    WriteFile(run.dir / "_u_taken.txt", "keep me");
    WriteFile(run.dir / "page.html", "<p>\x93\xfa</p>"); // neither head nor body
    ProfileOptions options = Options(932, 1, "_u_");
    options.bUtf8Meta = true;
    run.Profile("p.vnp", options);

    const auto r = run.Front({"-c", "p.vnp", "-l", "run.log", "good.txt", "empty.txt", "bad.txt",
                              "taken.txt", "page.html", "missing.txt"});
    EXPECT_EQ(r.exitCode, 160);
    const std::string& out = r.out;
    EXPECT_EQ(out.rfind("Varnolt Command-Line Mode\n\n", 0), 0u) << out;
    for (const auto& line :
         {run.dir / "good.txt [ok]\n", run.dir / "empty.txt [warning]\n",
          run.dir / "bad.txt [failed] (invalid byte sequence 81 7F at offset 3)\n",
          run.dir / "taken.txt [failed]\n", run.dir / "page.html [warning]\n",
          run.dir / "missing.txt [failed] (No such file or directory)\n"}) {
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    }
    EXPECT_NE(out.find("Error occured during conversion. Please read the log file for details\n"),
              std::string::npos);

    const std::string log = run.Log("run.log");
    struct Expect {
        const char* file;
        const char* status;
    };
    for (const Expect e :
         {Expect{"good.txt", "Status: OK"},
          Expect{"empty.txt",
                 "Status: Warning - The source file is empty. No conversion is performed."},
          Expect{"bad.txt", "Status: Error - Invalid character is found during Unicode conversion"},
          Expect{"taken.txt", "Status: Error - The file is not converted because the destination "
                              "file already exists."},
          Expect{"page.html", "Status: Warning - No UTF-8 charset Meta Tag is added/updated."},
          Expect{"missing.txt", "Status: Error - Unable to read the source file"}}) {
        const std::string record = "File: " + (run.dir / e.file) + "\r\n" + e.status + "\r\n";
        EXPECT_NE(log.find(record), std::string::npos) << record << "\n" << log;
    }

    EXPECT_EQ(ReadFile(run.dir / "_u_good.txt"),
              "\xEF\xBB\xBF\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\r\n");
    EXPECT_EQ(ReadFile(run.dir / "_u_taken.txt"), "keep me");
    EXPECT_EQ(ReadFile(run.dir / "good.txt"), sjis) << "the source is never touched";
    struct stat st {};
    EXPECT_NE(::stat((run.dir / "_u_bad.txt").c_str(), &st), 0) << "no output for a failed file";
    EXPECT_NE(::stat((run.dir / "_u_empty.txt").c_str(), &st), 0);
    // No place for the meta tag: converted as it is, with the warning.
    EXPECT_EQ(ReadFile(run.dir / "_u_page.html"), "\xEF\xBB\xBF<p>\xE6\x97\xA5</p>");
}

TEST(NonInteractiveRun, LogAppendsUnlessToldToReplace) {
    Workspace run;
    WriteFile(run.dir / "a.txt", "a");
    run.Profile("p.vnp", Options(1252, 1, "_u_"));
    ASSERT_EQ(run.Varnolt({"-c", "p.vnp", "a.txt"}).exitCode, 0);
    ASSERT_EQ(run.Varnolt({"-y", "-c", "p.vnp", "a.txt"}).exitCode, 16) << "overwritten: warning";
    std::string log = run.Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), '='), 2 * (60 + 5));
    EXPECT_NE(log.find("The destination file already exists and it is overwritten."),
              std::string::npos);
    ASSERT_EQ(run.Varnolt({"-o", "-y", "-c", "p.vnp", "a.txt"}).exitCode, 16);
    log = run.Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), '='), 60 + 5);
    // The default log path is in the current folder; without a console, no lines.
    EXPECT_EQ(run.Varnolt({"-c", "p.vnp", "a.txt"}).out, "");
}

TEST(NonInteractiveRun, OneThreadFollowsListOrder) {
    Workspace run;
    WriteFile(run.dir / "settings.reg", "Windows Registry Editor Version 5.00\n\n"
                                        "[HKEY_CURRENT_USER\\Software\\Brambleware\\Varnolt 5]\n"
                                        "\"DisableMP\"=dword:00000001\n");
    std::vector<std::string> args{"-c", "p.vnp"};
    std::string expected = "Varnolt Command-Line Mode\n\n";
    for (int i = 0; i < 12; ++i) {
        const std::string name = "f" + std::to_string(11 - i) + ".txt";
        WriteFile(run.dir / name, std::string(static_cast<std::size_t>(1000 * i + 1), 'x'));
        args.push_back(name);
        expected += (run.dir / name) + " [ok]\n";
    }
    expected += "\nConversion OK!\n";
    run.Profile("p.vnp", Options(1252, 1, "_u_"));
    const auto r = run.Front(args);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, expected);
}

TEST(NonInteractiveRun, WildcardsAndSubFoldersExpandIntoTheList) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> files; // relative to the workspace
        int exitCode;
    };
    const Case cases[] = {
        {{"dir/*.txt"}, {"dir/a.txt", "dir/b.TXT"}, 0},
        {{"-s", "dir/*.txt"},
         {"dir/a.txt", "dir/b.TXT", "dir/sub/a.txt", "dir/sub/d.txt", "dir/sub/deep/e.txt"},
         0},
        {{"dir/*.txt", "dir/*"}, {"dir/a.txt", "dir/b.TXT", "dir/c.log"}, 0},
        {{"-s", "dir/a.txt"}, {"dir/a.txt", "dir/sub/a.txt"}, 0},
        {{"nowhere/*.txt"}, {}, 142},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        Workspace run;
        for (const char* folder : {"dir", "dir/sub", "dir/sub/deep"}) {
            ASSERT_EQ(::mkdir((run.dir / folder).c_str(), 0755), 0);
        }
        for (const char* file : {"dir/a.txt", "dir/b.TXT", "dir/c.log", "dir/sub/a.txt",
                                 "dir/sub/d.txt", "dir/sub/deep/e.txt"}) {
            WriteFile(run.dir / file, "text");
        }
        // Beside each source: two files of one name from different folders
        // would meet in a flat output folder.
        run.Profile("p.vnp", Options(1252, 1, "_u_"));
        std::vector<std::string> args{"-c", "p.vnp"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto r = run.Varnolt(args);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        if (c.exitCode != 0) {
            continue;
        }
        const std::string log = run.Log();
        std::size_t records = 0;
        for (std::size_t at = log.find("File: "); at != std::string::npos;
             at = log.find("File: ", at + 1)) {
            ++records;
        }
        EXPECT_EQ(records, c.files.size()) << log;
        for (const auto& file : c.files) {
            EXPECT_NE(log.find("File: " + (run.dir / file) + "\r\nStatus: OK"), std::string::npos)
                << file << "\n"
                << log;
        }
    }
}

// Converting over a link in place converts the file the kernel opens through
// it and leaves the link as it was, whether the link is named or found.
TEST(NonInteractiveRun, LinksConvertTheirTargetInPlaceAndStayLinks) {
    namespace fs = std::filesystem;
    const std::string original = "caf\xE9\r\n";
    const std::string converted = "\xEF\xBB\xBF"
                                  "caf\xC3\xA9\r\n";
    const struct {
        std::vector<std::string> args;
        const char* link; // relative to the workspace
    } cases[] = {
        {{"a/link.txt"}, "p/q/a/link.txt"},
        {{"a/*.txt"}, "p/q/a/link.txt"},
        {{"-s", "p/*.txt"}, "p/q/a/link.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        Workspace run;
        const std::string root = fs::canonical(run.dir.Path());
        fs::create_directories(root + "/p/q/a");
        fs::create_directories(root + "/p/q/x");
        fs::create_directories(root + "/x");
        fs::create_symlink("p/q/a", root + "/a");
        fs::create_symlink("../x/real.txt", root + "/p/q/a/link.txt");
        WriteFile(root + "/p/q/x/real.txt", original);
        WriteFile(root + "/x/real.txt", "decoy");
        run.Profile("p.vnp", Options(1252, 0, "bak_"));
        std::vector<std::string> args{"-c", "p.vnp"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto r = run.Varnolt(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(ReadFile(root + "/p/q/x/real.txt"), converted);
        EXPECT_EQ(ReadFile(root + "/p/q/x/bak_real.txt"), original);
        EXPECT_EQ(ReadFile(root + "/x/real.txt"), "decoy");
        EXPECT_FALSE(fs::exists(root + "/x/bak_real.txt"));
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(root + "/" + c.link)));
        EXPECT_EQ(fs::read_symlink(root + "/" + c.link), "../x/real.txt");
        EXPECT_NE(run.Log().find("File: " + root + "/p/q/x/real.txt\r\nStatus: OK"),
                  std::string::npos)
            << run.Log();
    }
}

TEST(NonInteractiveRunConcurrency, WorkersGiveEveryFileOneRecordAndOneLine) {
    Workspace run;
    std::vector<std::string> args{"-c", "p.vnp", "-l", "run.log"};
    for (int i = 0; i < 80; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        WriteFile(run.dir / name, std::string(static_cast<std::size_t>(i * 311 % 5000 + 1), 'x'));
        args.push_back(name);
    }
    args.push_back("missing.txt");
    run.Profile("p.vnp", Options(1252, 1, "_u_"));
    const auto r = run.Front(args);
    EXPECT_EQ(r.exitCode, 160);
    const std::string log = run.Log("run.log");
    for (int i = 0; i < 80; ++i) {
        const std::string path = run.dir / ("f" + std::to_string(i) + ".txt");
        const std::string line = path + " [ok]\n";
        const std::size_t at = r.out.find(line);
        ASSERT_NE(at, std::string::npos) << line;
        EXPECT_EQ(r.out.find(line, at + 1), std::string::npos) << "twice: " << line;
        const std::string record = "File: " + path + "\r\nStatus: OK\r\n";
        const std::size_t inLog = log.find(record);
        ASSERT_NE(inLog, std::string::npos) << record;
        EXPECT_EQ(log.find(record, inLog + 1), std::string::npos) << "twice: " << record;
    }
    EXPECT_NE(r.out.find((run.dir / "missing.txt") + " [failed] (No such file or directory)\n"),
              std::string::npos);
}

} // namespace
} // namespace varnolt
