// Wildcard file arguments and -s, through the real command-line parser into
// the source file list, on a folder tree.
#include "app/cmd_line_info.hpp"
#include "app/source_file_list_doc.hpp"
#include "support/test_support.hpp"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <vector>

namespace varnolt {
namespace {

using test::TempDir;
using test::WriteFile;

class PatternExpansionTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"a.txt", "b.htm", "B.TXT", "a:b\\c.txt", "sub/c.txt", "sub/a.txt",
                                 "sub/deep/a.txt", "sub/deep/e.htm", "notes.txt/f"}) {
            const std::string path = m_root / name;
            std::filesystem::create_directories(std::filesystem::path(path).parent_path());
            WriteFile(path, "x");
        }
    }

    // The list as paths relative to the root, in list order.
    std::vector<std::string> Expand(const std::vector<std::string>& args) {
        std::vector<std::string> owned{"varnolt"};
        for (const auto& a : args) {
            owned.push_back(a.empty() || a[0] == '-' ? a : m_root / a);
        }
        std::vector<const char*> argv;
        for (const auto& a : owned) {
            argv.push_back(a.c_str());
        }
        CSourceFileListDoc doc;
        CMyCmdLineInfo info(doc);
        info.m_strProgramFolder = "/nonexistent/";
        info.ParseCommandLine(static_cast<int>(argv.size()), argv.data());
        EXPECT_EQ(info.m_nError, 0);
        std::vector<std::string> out;
        for (int i = 0; i < doc.GetCount(); ++i) {
            const std::string path = doc.GetPath(i);
            EXPECT_EQ(path.rfind(m_root.Path() + "/", 0), 0u) << path;
            out.push_back(path.substr(m_root.Path().size() + 1));
        }
        return out;
    }

    static std::vector<std::string> Sorted(std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    }

    TempDir m_root;
};

TEST_F(PatternExpansionTest, Table) {
    using V = std::vector<std::string>;
    const struct {
        V args;
        V expected; // sorted
    } cases[] = {
        // Folder + wildcard: that folder's matches only; case of A-Z ignored.
        {{"*.txt"}, {"B.TXT", "a.txt", "a:b\\c.txt"}},
        // With -s every sub-folder too; a folder named like a match is
        // searched, never listed.
        {{"-s", "*.txt"},
         {"B.TXT", "a.txt", "a:b\\c.txt", "sub/a.txt", "sub/c.txt", "sub/deep/a.txt"}},
        // The same file through two patterns is listed once.
        {{"*.txt", "*"}, {"B.TXT", "a.txt", "a:b\\c.txt", "b.htm"}},
        // The bar splits an argument into several patterns.
        {{"-s", "*.htm|c.*"}, {"b.htm", "sub/c.txt", "sub/deep/e.htm"}},
        // ':' and '\' are name characters: the folder part ends at the last '/'.
        {{"a:b\\*"}, {"a:b\\c.txt"}},
        // Nothing in a folder that does not exist.
        {{"missing/*.txt"}, {}},
        {{"-s", "missing/*.txt"}, {}},
        // A plain name without -s is added as it is, found or not.
        {{"nothere.txt"}, {"nothere.txt"}},
    };
    for (const auto& c : cases) {
        std::string trace;
        for (const auto& a : c.args) {
            trace += a + " ";
        }
        SCOPED_TRACE(trace);
        EXPECT_EQ(Sorted(Expand(c.args)), c.expected);
    }
}

TEST_F(PatternExpansionTest, PlainFileWithRecurseAddsSameNamedFilesBelowEachOnce) {
    const auto list = Expand({"-s", "a.txt"});
    ASSERT_EQ(list.size(), 3u);
    // The plain form comes first; the search finds it again and drops it.
    EXPECT_EQ(list[0], "a.txt");
    EXPECT_EQ(Sorted(list), (std::vector<std::string>{"a.txt", "sub/a.txt", "sub/deep/a.txt"}));
}

TEST_F(PatternExpansionTest, FolderResultsArriveDepthFirst) {
    const auto list = Expand({"-s", "*"});
    ASSERT_EQ(list.size(), 9u);
    // The files under sub/deep/ sit in one block inside the block of sub/.
    std::map<std::string, std::vector<std::size_t>> at;
    for (std::size_t i = 0; i < list.size(); ++i) {
        for (const std::string prefix : {"sub/", "sub/deep/"}) {
            if (list[i].rfind(prefix, 0) == 0) {
                at[prefix].push_back(i);
            }
        }
    }
    for (const auto& [prefix, idx] : at) {
        EXPECT_EQ(idx.back() - idx.front() + 1, idx.size()) << prefix;
    }
}

// Links enter the list as the files they lead to, however they are found,
// and a pattern's folder is the one the kernel reaches.
TEST_F(PatternExpansionTest, LinksAreListedAsTheirTargets) {
    std::filesystem::create_symlink("deep/e.htm", m_root / "sub/ln.txt");
    std::filesystem::create_symlink("sub/deep", m_root / "alias");
    using V = std::vector<std::string>;
    const struct {
        V args;
        V expected; // sorted
    } cases[] = {
        {{"sub/*.txt"}, {"sub/a.txt", "sub/c.txt", "sub/deep/e.htm"}},
        // The folder link is not descended into; the file link is resolved.
        {{"-s", "*.txt"},
         {"B.TXT", "a.txt", "a:b\\c.txt", "sub/a.txt", "sub/c.txt", "sub/deep/a.txt",
          "sub/deep/e.htm"}},
        // ".." after a folder link is the parent of its target: sub.
        {{"alias/../*.txt"}, {"sub/a.txt", "sub/c.txt", "sub/deep/e.htm"}},
        // A plain name under -s: its target, then same-named files below the
        // target's folder.
        {{"-s", "sub/ln.txt"}, {"sub/deep/e.htm"}},
        // Two names of one file make one entry.
        {{"sub/ln.txt", "sub/deep/*.htm"}, {"sub/deep/e.htm"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(Sorted(Expand(c.args)), c.expected);
    }
}

} // namespace
} // namespace varnolt
