// Command-line grammar, duplicates and profile path resolution.
#include "app/cmd_line_info.hpp"
#include "app/source_file_list_doc.hpp"
#include "support/test_support.hpp"

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

TEST(CmdLine, FileArgumentsBecomeFullPathsWithoutDuplicates) {
    test::TempDir dir;
    test::WriteFile(dir / "a.txt", "x");
    test::WriteFile(dir / "A.txt", "y");
    ASSERT_EQ(::symlink((dir / "a.txt").c_str(), (dir / "link.txt").c_str()), 0);
    const std::string cwd = dir.Path();
    CSourceFileListDoc doc;
    CMyCmdLineInfo info(doc);
    const std::string viaDots = dir.Path() + "/./sub/../a.txt";
    const std::string link = dir / "link.txt";
    const std::string upper = dir / "A.txt";
    const std::string plain = dir / "a.txt";
    const char* argv[] = {"varnolt",    plain.c_str(), viaDots.c_str(),
                          link.c_str(), upper.c_str(), "relative.txt"};
    info.ParseCommandLine(6, argv);
    // The link stands for its target; case makes a different file here.
    ASSERT_EQ(doc.GetCount(), 3);
    EXPECT_EQ(doc.GetPath(0), plain);
    EXPECT_EQ(doc.GetPath(1), upper);
    EXPECT_EQ(doc.GetPath(2).front(), '/');
    EXPECT_EQ(doc.GetBaseFolder(0), "");
    EXPECT_EQ(doc.AddFile(plain), -1);
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
