// Command-line grammar, duplicates and profile path resolution.
#include "app/cmd_line_info.hpp"
#include "app/source_file_list_doc.hpp"
#include "support/test_support.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>
#include <vector>

namespace varnolt {
namespace {

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
        {{"a", "-c", "p.vnp", "b", "-l", "x.log", "c"}, 0, false, "p.vnp", "x.log", -1, 3},
    };
    for (const auto& c : cases) {
        std::string trace;
        for (const char* a : c.args) {
            trace += std::string(a) + " ";
        }
        SCOPED_TRACE(trace);
        CSourceFileListDoc doc;
        CMyCmdLineInfo info(doc);
        info.m_strProgramFolder = "/nonexistent/";
        std::vector<const char*> argv{"varnolt"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        info.ParseCommandLine(static_cast<int>(argv.size()), argv.data());
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
        CSourceFileListDoc doc;
        CMyCmdLineInfo info(doc);
        info.m_strProgramFolder = "/nonexistent/";
        std::vector<const char*> argv{"varnolt"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        info.ParseCommandLine(static_cast<int>(argv.size()), argv.data());
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
