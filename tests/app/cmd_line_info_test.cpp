// Command-line grammar, duplicates and profile path resolution.
#include "app/cmd_line_info.hpp"
#include "app/source_file_list_doc.hpp"
#include "support/test_support.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace varnolt {
namespace {

// Parses argv after "varnolt" with a program folder that holds nothing.
struct Parsed {
    CSourceFileListDoc doc;
    CMyCmdLineInfo info{doc};
    explicit Parsed(const std::vector<std::string>& args) {
        info.m_strProgramFolder = "/nonexistent/";
        std::vector<const char*> argv{"varnolt"};
        for (const auto& a : args) {
            argv.push_back(a.c_str());
        }
        info.ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    }
};

struct ParseCase {
    std::vector<const char*> args;
    int error;
    bool nonInteractive;
    const char* profile;
    const char* logFile;
    int pid;
    std::size_t files;
    bool appendLog = true;
};

TEST(CmdLine, GrammarTable) {
    const ParseCase cases[] = {
        {{"-u", "-c"}, 132, true, "", "", -1, 0},
        {{"-u", "-c", "-o"}, 132, true, "", "", -1, 0},
        {{"-u", "-l"}, 134, true, "", "", -1, 0},
        {{"-u", "-l", "-y"}, 134, true, "", "", -1, 0},
        // A -u that arrives while the -c value is awaited is the error itself.
        {{"-c", "-u", "p"}, 132, false, "", "", -1, 0},
        {{"-U", "-cprof.vnp"}, 0, true, "prof.vnp", "", -1, 0},
        {{"-uxyz", "-c", "p.vnp", "a.txt"}, 0, true, "p.vnp", "", -1, 1},
        {{"-u", "-x", "-c", "p.vnp"}, 130, true, "", "", -1, 0},
        // Unknown switch before -u: -u and the rest are ignored.
        {{"-x", "-u", "-c", "p.vnp"}, 130, false, "", "", -1, 0},
        {{"-u", "-p", "1234", "-cp"}, 0, true, "p.vnp", "", 1234, 0},
        {{"-p1234"}, 0, false, "", "", 1234, 0},
        {{"-p", "  -42abc"}, 0, false, "", "", -42, 0},
        {{"-p", "abc"}, 0, false, "", "", 0, 0},
        {{"-L", "run.log", "-O"}, 0, false, "", "run.log", -1, 0, false},
        {{"-ooops", "f1", "f2"}, 0, false, "", "", -1, 2, false},
        {{"-"}, 130, false, "", "", -1, 0},
        // -h stands only alone; in a run it is an unknown switch.
        {{"-u", "-h", "a.txt"}, 130, true, "", "", -1, 0},
        // A -p still waiting for its number keeps waiting past a -c with its
        // value written on, and is dropped at any other switch.
        {{"-u", "-p", "-cp.vnp", "12"}, 0, true, "p.vnp", "", 12, 0},
        {{"-u", "-p", "--dry-run", "12"}, 0, true, "", "", -1, 1},
        {{"-u", "-p", "-y", "12"}, 0, true, "", "", -1, 1},
        {{"a", "-c", "p.vnp", "b", "-l", "x.log", "c"}, 0, false, "p.vnp", "x.log", -1, 3},
    };
    for (const auto& c : cases) {
        std::string trace;
        for (const char* a : c.args) {
            trace += std::string(a) + " ";
        }
        SCOPED_TRACE(trace);
        Parsed parsed({c.args.begin(), c.args.end()});
        const CMyCmdLineInfo& info = parsed.info;
        EXPECT_EQ(info.m_nError, c.error);
        EXPECT_EQ(info.m_bNonInteractive, c.nonInteractive);
        EXPECT_EQ(info.m_strProfile, c.profile);
        EXPECT_EQ(info.m_strLogFile, c.logFile);
        EXPECT_EQ(info.m_nConsolePid, c.pid);
        EXPECT_EQ(info.m_arrFiles.size(), c.files);
        EXPECT_EQ(info.m_bAppendLog, c.appendLog);
    }
}

TEST(CmdLine, DryRunAndForceAreWholeWords) {
    struct Case {
        std::vector<const char*> args;
        int error;
        bool dryRun;
        bool force;
        const char* unknown;
    };
    const Case cases[] = {
        {{"-u", "--dry-run", "-c", "p.vnp", "a.txt"}, 0, true, false, ""},
        {{"-u", "-c", "p.vnp", "--force", "a.txt", "--dry-run"}, 0, true, true, ""},
        // A pending value is not a long option's, and no prefix or case will do.
        {{"-u", "-c", "--force"}, 132, false, false, ""},
        {{"-u", "--dry", "a.txt"}, 130, false, false, "--dry"},
        {{"-u", "--FORCE", "a.txt"}, 130, false, false, "--FORCE"},
        {{"-u", "--dry-runs", "a.txt"}, 130, false, false, "--dry-runs"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.unknown);
        Parsed parsed({c.args.begin(), c.args.end()});
        const CMyCmdLineInfo& info = parsed.info;
        EXPECT_EQ(info.m_nError, c.error);
        EXPECT_EQ(info.m_bDryRun, c.dryRun);
        EXPECT_EQ(info.m_bForce, c.force);
        EXPECT_EQ(info.m_strUnknownSwitch, c.unknown);
    }
}

// Each plain argument becomes the absolute path of the file the kernel opens
// under it: links followed, ".." taken after the link, not from the text.
TEST(CmdLine, FileArgumentsBecomeTheFilesTheKernelOpens) {
    namespace fs = std::filesystem;
    test::TempDir dir;
    fs::create_directories(dir / "p/q/a");
    fs::create_directories(dir / "p/q/x");
    fs::create_directories(dir / "x");
    fs::create_directories(dir / "sub");
    for (const char* name : {"a.txt", "A.txt", "x/real.txt", "p/q/x/real.txt"}) {
        test::WriteFile(dir / name, name);
    }
    fs::create_symlink("p/q/a", dir / "a");
    fs::create_symlink("../x/real.txt", dir / "p/q/a/link.txt");
    fs::create_symlink(dir / "a.txt", dir / "abs-link.txt");
    fs::create_symlink("gone.txt", dir / "dangling.txt");
    const std::string root = fs::canonical(dir.Path());
    const struct {
        std::string argument;
        std::string listed; // "" for an empty entry; "-" for a duplicate
    } cases[] = {
        {dir / "a.txt", root + "/a.txt"},
        {"a/link.txt", root + "/p/q/x/real.txt"}, // relative, through a folder link
        {root + "/./sub/../a.txt", "-"},
        {"abs-link.txt", "-"},      // the same file as a.txt
        {"A.txt", root + "/A.txt"}, // case makes a different file here
        {"a/../x/real.txt", "-"},   // ".." of p/q/a is p/q
        // Unresolvable: the resolved folder and the name as typed, or the
        // whole path as typed, never a file that the text merely suggests.
        {"dangling.txt", root + "/dangling.txt"},
        {"none/../a.txt", root + "/none/../a.txt"},
        {"", ""},
    };
    std::vector<std::string> owned{"varnolt"};
    std::vector<std::string> expected;
    for (const auto& c : cases) {
        owned.push_back(c.argument);
        if (c.listed != "-") {
            expected.push_back(c.listed);
        }
    }
    std::vector<const char*> argv;
    for (const auto& a : owned) {
        argv.push_back(a.c_str());
    }
    const std::string cwd = fs::current_path();
    fs::current_path(root);
    CSourceFileListDoc doc;
    CMyCmdLineInfo info(doc);
    info.ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    fs::current_path(cwd);
    std::vector<std::string> listed;
    for (int i = 0; i < doc.GetCount(); ++i) {
        listed.push_back(doc.GetPath(i));
        EXPECT_EQ(doc.GetBaseFolder(i), "");
    }
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(doc.AddFile(root + "/a.txt"), -1);
}

TEST(CmdLine, ProfilePathResolution) {
    test::TempDir programDir;
    test::TempDir workDir;
    test::WriteFile(programDir / "prof.vnp", "");
    test::WriteFile(programDir / "dotted.cfg", "");
    test::WriteFile(workDir / "here", "");
    struct Case {
        std::string given;
        std::string expected;
    };
    const Case cases[] = {
        {"prof", programDir / "prof.vnp"},
        {"prof.", "prof..vnp"}, // a trailing dot gets the extension appended as is
        {"prof.vnp", programDir / "prof.vnp"},
        {"dotted.cfg", programDir / "dotted.cfg"},
        {"missing", "missing.vnp"},
        {"sub/prof", "sub/prof.vnp"},         // a folder part only gets the extension
        {"a.b/prof.x", "a.b/prof.x"},         // text after the last dot: no extension
        {workDir / "here", workDir / "here"}, // exists: unchanged
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        CSourceFileListDoc doc;
        CMyCmdLineInfo info(doc);
        info.m_strProgramFolder = programDir.Path(); // no trailing slash: one is added
        info.m_strProfile = c.given;
        info.ResolveProfilePath();
        EXPECT_EQ(info.m_strProfile, c.expected);
    }
}

// The names --from takes: every spelling a user is likely to type, compared
// without case and surrounding blanks; numbers as a profile holds them; names
// that the registries give to different code pages refused with both.
TEST(CmdLine, FromNamesAndNumbers) {
    const struct {
        const char* given;
        int codePage; // 0: refused
        const char* error = "";
    } cases[] = {
        {"windows-1251", 1251},
        {"CP1251", 1251},
        {"  Shift_JIS\t", 932},
        {"sjis", 932},
        {"cp932", 932},
        {"windows-31j", 932},
        {"gbk", 936},
        {"GB2312", 936},
        {"gb18030", 54936},
        {"big5", 950},
        {"euc-kr", 949},
        {"euc-jp", 20932},
        {"koi8-r", 20866},
        {"iso-8859-5", 28595},
        {"ISO_8859-2", 28592},
        {"utf-16le", 1200},
        {"UTF-16BE", 1201},
        {"utf8", 65001},
        {"macintosh", 10000},
        {"hz-gb-2312", 52936},
        {"tis-620", 874},
        {"x-iscii-de", 57002},
        {"armscii-8", 59999},
        {"us-ascii", 1252},
        {"1251", 1251},
        {" 932 ", 932},
        // A number outside the catalogue is the run's to refuse (144), as
        // the same number in a profile.
        {"1259", 1259},
        {"latin1", 0, "\"latin1\" is ambiguous; give one of the code pages 1252 "},
        {"ISO-8859-1", 0, "28591 (ISO 8859-1 Latin I)"},
        {"iso-8859-9", 0, "28599 (Turkish (ISO8859-9)), 1254 (Turkish (Windows))"},
        {"utf-16", 0, "1200 (Unicode (UTF-16)), 1201 (Unicode Big Endian (UTF-16))"},
        {"asmo-708", 0, "708 (Arabic (ASMO 708)), 28596 (Arabic (ISO8859-6))"},
        {"shift jis", 0, "unknown encoding"},
        {"cp1251x", 0, "unknown encoding"},
        {"-1251", 0, "unknown encoding"},
        {"12345678901", 0, "unknown encoding"},
        {"", 0, "unknown encoding"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        Parsed p({"-u", "--from", c.given, "--out", "x", "a.txt"});
        if (c.codePage != 0) {
            EXPECT_EQ(p.info.m_nError, 0) << p.info.m_strError;
            EXPECT_EQ(p.info.m_switchOptions.nCodePage, c.codePage);
        } else {
            EXPECT_EQ(p.info.m_nError, 130);
            EXPECT_NE(p.info.m_strError.find("--from: "), std::string::npos);
            EXPECT_NE(p.info.m_strError.find(c.error), std::string::npos) << p.info.m_strError;
        }
    }
}

// Long options next to the single-letter grammar: values inline or next,
// "--" ending the switches, and the combinations that cannot make a run.
TEST(CmdLine, LongOptionGrammar) {
    const struct {
        std::vector<std::string> args;
        int error;
        const char* message; // part of m_strError, or of the unknown switch
        std::size_t files = 0;
    } cases[] = {
        {{"-u", "--from=1252", "--prefix", "-u_", "a"}, 0, "", 1}, // a value may start with '-'
        {{"-u", "--from", "1252", "--out=", "a", "b"}, 0, "", 2},
        {{"-u", "--from", "1252", "--out", "o", "--", "-x.txt", "--from", "-"}, 0, "", 3},
        {{"-u", "--", "-c"}, 0, "", 1},
        {{"-u", "--keep-folders", "--files-from", "/dev/null", "--null", "-c", "p"}, 0, ""},
        {{"-u", "--from", "1252", "--backup", "b_", "--meta", "-s", "-y"}, 0, ""},
        // A long option where the -c or -l value is awaited is that error.
        {{"-u", "-c", "--from", "1252"}, 132, ""},
        {{"-u", "-l", "--"}, 134, ""},
        {{"-u", "--From", "1252"}, 130, "--From"},
        {{"-u", "--from"}, 130, "--from needs a value (ENC)"},
        {{"-u", "--keep-folders=1"}, 130, "--keep-folders takes no value"},
        {{"-u", "-cp", "--to", "utf-8"}, 130, "-c and --to cannot be used together"},
        {{"-u", "--bom", "--out", "o"}, 130, "--bom needs --from"},
        {{"-u", "--from", "1252", "--entities"}, 130, "--from needs one of"},
        {{"-u", "--from", "1252", "--backup", "b", "--out", "o"},
         130,
         "--backup and --out cannot be used together"},
        {{"-u", "--from", "1252", "--out", "o", "--out", "p"}, 130, "--out is given twice"},
        {{"-u", "--from", "1252", "--out", "o", "--meta", "--to", "utf-16be"},
         130,
         "--meta needs --to utf-8"},
        {{"-u", "--from", "1252", "--out", "o", "--to", "utf-7"}, 130, "--to: \"utf-7\""},
        {{"-u", "--null", "a"}, 130, "--null applies to --files-from", 1},
        {{"-u", "--files-from="}, 130, "--files-from: the list's file name is empty"},
        {{"-u", "--save-profile", "s.vnp"}, 130, "--save-profile needs --from"},
        {{"-u", "--from", "1252", "--out", "o", "--save-profile", "s.vnp", "a"},
         130,
         "--save-profile converts nothing",
         1},
        // An error ends the parse: what follows is not taken.
        {{"-u", "--nope", "--from", "1252", "a"}, 130, "--nope"},
    };
    for (const auto& c : cases) {
        std::string trace;
        for (const auto& a : c.args) {
            trace += a + " ";
        }
        SCOPED_TRACE(trace);
        Parsed p(c.args);
        EXPECT_EQ(p.info.m_nError, c.error);
        const std::string said = p.info.m_strError + p.info.m_strUnknownSwitch;
        EXPECT_NE(said.find(c.message), std::string::npos) << said;
        EXPECT_EQ(p.info.m_arrFiles.size(), c.files);
    }
    Parsed p({"-u", "--from", "1252", "--prefix", "-u_", "--", "-y", "--keep-folders"});
    EXPECT_EQ(p.info.m_switchOptions.strDestPrefix, "-u_");
    EXPECT_EQ(p.info.m_switchOptions.nOutputOption, 1);
    EXPECT_FALSE(p.info.m_bOverwriteExisting) << "after --, -y is a file";
    EXPECT_FALSE(p.info.m_bKeepFolders);
    EXPECT_EQ(p.info.m_arrFiles, (std::vector<std::string>{"-y", "--keep-folders"}));
}

// Files found by a pattern get the pattern's folder as their base folder
// under --keep-folders (and only then); named files never get one.
TEST(CmdLine, KeepFoldersGivesFoundFilesThePatternsFolder) {
    namespace fs = std::filesystem;
    test::TempDir dir;
    fs::create_directories(dir / "docs/sub");
    for (const char* name : {"docs/a.txt", "docs/sub/a.txt", "named.txt"}) {
        test::WriteFile(dir / name, "x");
    }
    const std::string root = fs::canonical(dir.Path());
    for (const bool keep : {false, true}) {
        std::vector<std::string> args{"-u", "-s", root + "/docs/*.txt", root + "/named.txt"};
        if (keep) {
            args.insert(args.begin() + 1, "--keep-folders");
        }
        Parsed p(args);
        ASSERT_EQ(p.doc.GetCount(), 3);
        for (int i = 0; i < 3; ++i) {
            const std::string path = p.doc.GetPath(i);
            const bool found = path.find("/docs/") != std::string::npos;
            EXPECT_EQ(p.doc.GetBaseFolder(i), keep && found ? root + "/docs/" : "") << path;
        }
    }
}

// A list is split exactly at its separators; one that cannot be meant as
// given is refused whole, naming the list and why.
TEST(CmdLine, FilesFromListsAreSplitOrRefused) {
    test::TempDir dir;
    const std::string root = std::filesystem::canonical(dir.Path());
    const struct {
        std::string list;
        bool nul;
        std::vector<std::string> listed; // relative to the folder
        const char* error = "";
    } cases[] = {
        {"a\nb c\n\n\\d\r", false, {"a", "b c", "\\d\r"}}, // no separator after the last
        {std::string("a\0b\nc\0", 6), true, {"a", "b\nc"}},
        {std::string("a\0b\0", 4), false, {}, "it holds NUL bytes (give --null"},
        {std::string(5000, 'n') + "\n", false, {}, "a name in it is longer than any path"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.list.substr(0, 20));
        test::WriteFile(dir / "list", c.list);
        std::vector<std::string> args{"-u", "--files-from", dir / "list"};
        if (c.nul) {
            args.push_back("--null");
        }
        const std::string cwd = std::filesystem::current_path();
        std::filesystem::current_path(root);
        Parsed p(args);
        std::filesystem::current_path(cwd);
        std::vector<std::string> listed;
        for (int i = 0; i < p.doc.GetCount(); ++i) {
            listed.push_back(p.doc.GetPath(i).substr(root.size() + 1));
        }
        if (*c.error == '\0') {
            EXPECT_EQ(p.info.m_nError, 0) << p.info.m_strError;
            EXPECT_EQ(listed, c.listed);
        } else {
            EXPECT_EQ(p.info.m_nError, 130);
            EXPECT_NE(p.info.m_strError.find("--files-from: cannot read \"" + (dir / "list") +
                                             "\": " + c.error),
                      std::string::npos)
                << p.info.m_strError;
        }
    }
    Parsed folder({"-u", "--files-from", dir.Path()});
    EXPECT_NE(folder.info.m_strError.find("Is a directory"), std::string::npos)
        << folder.info.m_strError;
}

TEST(SourceFileListDoc, AddRemoveAndBaseFolders) {
    CSourceFileListDoc doc;
    EXPECT_EQ(doc.AddFile("/a", "/base"), 0);
    EXPECT_EQ(doc.AddFile("/b"), 1);
    EXPECT_EQ(doc.AddFile("/a"), -1);
    EXPECT_EQ(doc.GetBaseFolder(0), "/base");
    doc.RemoveAt(0);
    EXPECT_EQ(doc.GetPath(0), "/b");
    EXPECT_EQ(doc.GetBaseFolder(0), "");
    EXPECT_THROW(doc.GetPath(3), std::out_of_range);
    doc.RemoveAll();
    EXPECT_EQ(doc.GetCount(), 0);
}

} // namespace
} // namespace varnolt
