// Runs without a profile, end to end through the console front end: switches
// that give the options, saving them as a profile, --keep-folders, file lists
// and "--".
#include "settings/encoding_catalogue.hpp"
#include "support/run_space.hpp"
#include "support/test_support.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <regex>

namespace varnolt {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

struct Workspace {
    TempDir dir;
    std::vector<std::string> Env() const {
        return {"VARNOLT_SETTINGS=" + (dir / "settings.reg"),
                std::string("VARNOLT_EXE=") + VARNOLT_EXE_PATH};
    }
    test::ProgramResult Front(const std::vector<std::string>& args) const {
        return test::RunProgram(XVARNOLT_EXE_PATH, args, dir.Path(), Env());
    }
    // The front end with standard input read from `stdinFile`.
    test::ProgramResult FrontWithInput(const std::string& stdinFile,
                                       const std::vector<std::string>& args) const {
        std::vector<std::string> shellArgs{"-c", "exec \"$0\" \"$@\" < \"$VNT_STDIN\"",
                                           XVARNOLT_EXE_PATH};
        shellArgs.insert(shellArgs.end(), args.begin(), args.end());
        auto env = Env();
        env.push_back("VNT_STDIN=" + stdinFile);
        return test::RunProgram("/bin/sh", shellArgs, dir.Path(), env);
    }
};

// The log's text with the header's date and time taken out (UTF-16 units
// above ASCII shown as \uXXXX), so two runs can be compared.
std::string LogWithoutTime(const std::string& path) {
    const std::string bytes = ReadFile(path);
    std::string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned unit =
            static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (unit < 0x80) {
            text.push_back(static_cast<char>(unit));
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\u%04X", unit);
            text += hex;
        }
    }
    return std::regex_replace(text, std::regex("Conversion Log - [^\r]*"), "Conversion Log - T");
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

// The switches build exactly the options the same profile gives: a run with
// them and a run with the profile --save-profile writes from them leave the
// same files and the same log, for every output option and switch.
TEST(ProfileLessRun, SwitchesAndTheirSavedProfileConvertAlike) {
    const struct {
        std::vector<std::string> switches;
        std::string output;   // a file the run writes
        std::string expected; // its first bytes, or (HTML) a part of it
    } cases[] = {
        {{"--from", "sjis", "--prefix", "u_"}, "u_ja.txt", "\xE6\x97\xA5\xE6\x9C\xAC\r\n"},
        {{"--from=932", "--to", "UTF-16BE", "--bom", "--backup", "orig_"},
         "ja.txt",
         std::string("\xFE\xFF\x65\xE5\x67\x2C\x00\r\x00\n", 10)},
        {{"--from", " Shift_JIS ", "--to", "utf-8", "--meta", "--entities", "--out", "conv"},
         "conv/page.html",
         "charset=UTF-8\" />"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.switches.front() + " " + c.switches.back());
        Workspace run;
        std::map<std::string, std::string> results[2];
        std::string logs[2];
        for (int pass = 0; pass < 2; ++pass) {
            fs::remove_all(run.dir.Path());
            fs::create_directories(run.dir / "conv");
            // One worker, so the records follow the list in both logs.
            WriteFile(run.dir / "settings.reg",
                      "Windows Registry Editor Version 5.00\n\n"
                      "[HKEY_CURRENT_USER\\Software\\Brambleware\\Varnolt 5]\n"
                      "\"DisableMP\"=dword:00000001\n");
            WriteFile(run.dir / "ja.txt", "\x93\xfa\x96\x7b\r\n");
            WriteFile(run.dir / "page.html", "<html><head></head><body>&eacute;\x93\xfa</body>");
            std::vector<std::string> args = c.switches;
            if (pass == 1) {
                args.insert(args.end(), {"--save-profile", "p.vnp"});
                const auto saved = run.Front(args);
                ASSERT_EQ(saved.exitCode, 0) << saved.err;
                EXPECT_EQ(saved.out.find("Conversion OK!"), std::string::npos) << saved.out;
                args = {"-c", "p.vnp"};
            }
            args.insert(args.end(), {"-l", "run.log", "ja.txt", "page.html"});
            const auto r = run.Front(args);
            EXPECT_EQ(r.exitCode, 0) << r.err;
            logs[pass] = LogWithoutTime(run.dir / "run.log");
            results[pass] = test::Snapshot(run.dir.Path());
            results[pass].erase("run.log");
            results[pass].erase("p.vnp");
            results[pass].erase("settings.reg");
        }
        EXPECT_EQ(results[0], results[1]);
        EXPECT_EQ(logs[0], logs[1]);
        EXPECT_EQ(Count(logs[0], "Status: OK"), 2u) << logs[0];
        ASSERT_EQ(results[0].count(c.output), 1u);
        const std::string& bytes = results[0].at(c.output);
        EXPECT_TRUE(bytes.rfind(c.expected, 0) == 0 || bytes.find(c.expected) != std::string::npos)
            << bytes;
        if (c.output == "conv/page.html") {
            EXPECT_NE(bytes.find("<body>\xC3\xA9\xE6\x97\xA5</body>"), std::string::npos)
                << "entity and Shift-JIS text converted";
        }
    }
}

// The issue's example: a tree of same-named files into an output folder.
// Flat, they collide; with --keep-folders the tree is recreated, below the
// pattern's folder for found files, below the current folder for listed ones.
TEST(ProfileLessRun, KeepFoldersRecreatesTheTreeInTheOutputFolder) {
    const char* const files[] = {"docs/a.txt", "docs/sub/a.txt", "docs/sub/deep/a.txt",
                                 "docs/other/a.txt", "docs/other/b.txt"};
    enum Mode { kFlat, kPattern, kList };
    for (const Mode mode : {kFlat, kPattern, kList}) {
        SCOPED_TRACE(mode);
        Workspace run;
        fs::create_directories(run.dir / "docs/sub/deep");
        fs::create_directories(run.dir / "docs/other");
        fs::create_directories(run.dir / "converted");
        std::string list;
        for (const char* file : files) {
            // Shift-JIS "日" and the file's own path, so each output shows its source.
            WriteFile(run.dir / file, std::string("\x93\xfa ") + file);
            list += std::string(file) + "\n";
        }
        WriteFile(run.dir / "list", list);
        std::vector<std::string> args{"--from", "shift_jis", "--to", "utf-8", "--out", "converted"};
        if (mode == kList) {
            args.insert(args.end(), {"--keep-folders", "--files-from", "list"});
        } else {
            args.insert(args.end(), {"-s", "docs/*.txt"});
        }
        if (mode == kPattern) {
            args.push_back("--keep-folders");
        }
        const auto r = run.Front(args);
        auto converted = test::Snapshot(run.dir / "converted");
        if (mode == kFlat) {
            // Four files called a.txt meet in one folder: one is written, the
            // other three are refused, never overwritten.
            EXPECT_EQ(r.exitCode, 160);
            EXPECT_EQ(converted.size(), 2u);
            continue;
        }
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        std::map<std::string, std::string> expected;
        for (const std::string file : files) {
            expected[mode == kPattern ? file.substr(5) : file] = "\xE6\x97\xA5 " + file;
        }
        EXPECT_EQ(converted, expected);
    }
}

// Lists from another program: names with blanks, line feeds (with --null),
// bytes that are not UTF-8 and a leading '-' are each converted exactly once.
TEST(ProfileLessRun, FilesFromStandardInputTakesEveryNameAsItIs) {
    const std::vector<std::string> names = {"with blanks .txt", "bad\xff\xfe.txt", "-dash.txt",
                                            "*.txt", "line\nfeed.txt"};
    for (const bool nul : {false, true}) {
        SCOPED_TRACE(nul ? "--null" : "lines");
        Workspace run;
        std::string list;
        std::size_t listed = 0;
        for (const std::string& name : names) {
            if (!nul && name.find('\n') != std::string::npos) {
                continue; // a line feed cannot be in a line-separated list
            }
            WriteFile(run.dir / name, "caf\xe9 " + std::to_string(listed));
            list += name + (nul ? '\0' : '\n');
            ++listed;
        }
        list += names.front() + (nul ? '\0' : '\n'); // named twice, converted once
        list += nul ? std::string(1, '\0') : "\n";   // an empty entry is skipped
        WriteFile(run.dir / "other.txt", "not listed");
        WriteFile(run.dir / "list", list);
        std::vector<std::string> args{"--from", "1252", "--prefix", "u_", "--files-from", "-"};
        if (nul) {
            args.push_back("--null");
        }
        const auto r = run.FrontWithInput(run.dir / "list", args);
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        const auto records = test::ReadLogRecords(run.dir / "varnolt.log");
        EXPECT_EQ(records.size(), listed);
        std::size_t index = 0;
        for (const std::string& name : names) {
            if (!nul && name.find('\n') != std::string::npos) {
                continue;
            }
            EXPECT_EQ(ReadFile(run.dir / ("u_" + name)), "caf\xC3\xA9 " + std::to_string(index++))
                << name;
        }
        EXPECT_FALSE(fs::exists(run.dir / "u_other.txt"));
    }
}

TEST(ProfileLessRun, DoubleDashLetsFileNamesBeginWithADash) {
    Workspace run;
    WriteFile(run.dir / "-x.txt", "x");
    const auto refused = run.Front({"--from", "1252", "--prefix", "u_", "-x.txt"});
    EXPECT_EQ(refused.exitCode, 130);
    EXPECT_EQ(refused.err, "varnolt: unknown switch \"-x.txt\"\n");
    EXPECT_FALSE(fs::exists(run.dir / "u_-x.txt"));

    const auto r = run.Front({"--from", "1252", "--prefix", "u_", "--", "-x.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(run.dir / "u_-x.txt"), "x");
}

// A mistake in the switches ends the run before anything is read or
// written, with the command-line error code and a message naming the switch;
// a check of the options ends it with the code a profile would give.
TEST(ProfileLessRun, MistakesAreRefusedBeforeAnyFileIsTouched) {
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string err; // part of standard error
    } cases[] = {
        {{"-c", "p.vnp", "--from", "1252"}, 130, "-c and --from cannot be used together"},
        {{"--from", "1252", "-c", "p.vnp", "--prefix", "u_"},
         130,
         "-c and --from cannot be used together"},
        {{"--prefix", "u_"}, 130, "--prefix needs --from"},
        {{"--from", "1252"},
         130,
         "--from needs one of --backup PREFIX, --prefix PREFIX or --out DIR"},
        {{"--from", "1252", "--out", "out", "--prefix", "u_"},
         130,
         "--out and --prefix cannot be used together"},
        {{"--from", "1252", "--from", "1251", "--prefix", "u_"}, 130, "--from is given twice"},
        {{"--from", "latin1", "--prefix", "u_"},
         130,
         "\"latin1\" is ambiguous; give one of the code pages 1252 (Western (Windows Char. Set)), "
         "28591 (ISO 8859-1 Latin I)"},
        {{"--from", "klingon", "--prefix", "u_"}, 130, "--from: unknown encoding \"klingon\""},
        {{"--from", "1252", "--to", "utf-32", "--prefix", "u_"}, 130, "--to: \"utf-32\""},
        {{"--from", "1252", "--meta", "--to", "utf-16le", "--prefix", "u_"},
         130,
         "--meta needs --to utf-8"},
        {{"--from", "1252", "--prefix"}, 130, "--prefix needs a value (PREFIX)"},
        {{"--from", "1252", "--bom=yes", "--prefix", "u_"}, 130, "--bom takes no value"},
        {{"--from", "1252", "--prefix", "u_", "--null"}, 130, "--null applies to --files-from"},
        {{"--from", "1252", "--prefix", "u_", "--files-from", "missing.list"},
         130,
         "--files-from: cannot read \"missing.list\": No such file or directory"},
        {{"--from", "1252", "--prefix", "u_", "--frm", "x"}, 130, "unknown switch \"--frm\""},
        {{"--from", "1252", "--prefix", "u_", "--save-profile", "p.vnp"},
         130,
         "--save-profile converts nothing"},
        // The run's own checks, with the codes a profile's options get.
        {{"--from", "1259", "--prefix", "u_"}, 144, "--from: code page 1259 is not one"},
        {{"--from", "1252", "--prefix", "a/b"}, 148, "--prefix: the prefix \"a/b\" is not valid"},
        {{"--from", "1252", "--backup", ""}, 146, "--backup: the prefix \"\" is not valid"},
        {{"--from", "1252", "--out", "missing"}, 150, "/missing/\": it does not exist"},
        {{"--from", "1252", "--backup", "*", "--save-profile", "q.vnp"}, 146, "--backup"},
    };
    for (const auto& c : cases) {
        std::string trace;
        for (const auto& a : c.args) {
            trace += a + " ";
        }
        SCOPED_TRACE(trace);
        Workspace run;
        WriteFile(run.dir / "a.txt", "abc");
        std::vector<std::string> args = c.args;
        if (c.args.back() != "q.vnp") {
            args.insert(args.begin(), "a.txt");
        }
        const auto before = test::Snapshot(run.dir.Path());
        const auto r = run.Front(args);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(test::Snapshot(run.dir.Path()), before) << "nothing written, not even a log";
    }
}

TEST(ProfileLessRun, ListEncodingsShowsEveryCatalogueEntryWithItsNames) {
    Workspace run;
    const auto r = run.Front({"--list-encodings"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.find("Conversion OK!"), std::string::npos) << r.out;
    for (int i = 0; i < EncodingCatalogue::Count(); ++i) {
        const EncodingEntry& e = EncodingCatalogue::Entry(i);
        const std::regex line("\n" + std::to_string(e.nCodePage) + " +" +
                              std::regex_replace(std::string(e.strName),
                                                 std::regex(R"([()\[\].+*?^$|{}\\])"), R"(\$&)") +
                              " +[a-z]");
        EXPECT_TRUE(std::regex_search(r.out, line)) << e.strName;
    }
}

} // namespace
} // namespace varnolt
