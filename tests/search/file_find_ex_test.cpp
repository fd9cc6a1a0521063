// The filtered folder search: filter splitting and matching, exclusion over
// inclusion, recursion order, error handling, links and special files.
#include "search/file_find_ex.hpp"
#include "support/test_support.hpp"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>

namespace varnolt {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteFile;

class CRecordingSink : public ISearchMessageSink {
public:
    void ShowFilterError(const std::string& text) override { m_arrShown.push_back(text); }
    std::vector<std::string> m_arrShown;
};

// Names relative to the root, sorted: enumeration order is the OS's.
std::set<std::string> Relative(const std::vector<std::string>& paths, const std::string& root) {
    std::set<std::string> out;
    for (const auto& p : paths) {
        EXPECT_EQ(p.rfind(root + "/", 0), 0u) << p;
        out.insert(p.substr(root.size() + 1));
    }
    EXPECT_EQ(out.size(), paths.size()) << "a file was listed twice";
    return out;
}

class SearchFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name :
             {"a.html", "B.HTML", "x.php", "a.htm", "x.php3", "readme.txt", "README.TXT",
              "readme.txt.bak", "a.htm ", " x.php", "main.cpp", "MAIN.CPP", "main.cpp.orig",
              "a.htmx", ".hidden.txt", "sub/c.txt", "sub/deeper/d.txt", "dir.txt/e.php"}) {
            const std::string path = m_root / name;
            fs::create_directories(fs::path(path).parent_path());
            WriteFile(path, "x");
        }
    }
    std::set<std::string> Search(const std::string& incl, const std::string& excl, bool regExp,
                                 bool recurse) {
        std::vector<std::string> results;
        SearchFolder(results, recurse, m_root.Path(), incl, excl, regExp, &m_sink);
        return Relative(results, m_root.Path());
    }
    TempDir m_root;
    CRecordingSink m_sink;
};

TEST_F(SearchFolderTest, FilterTable) {
    using S = std::set<std::string>;
    const S top = {"a.html",     "B.HTML",     "x.php",          "a.htm",  "x.php3",
                   "readme.txt", "README.TXT", "readme.txt.bak", "a.htm ", " x.php",
                   "main.cpp",   "MAIN.CPP",   "main.cpp.orig",  "a.htmx", ".hidden.txt"};
    S all = top;
    all.insert({"sub/c.txt", "sub/deeper/d.txt", "dir.txt/e.php"});
    const struct {
        const char* incl;
        const char* excl;
        bool regExp;
        bool recurse;
        S expected;
    } cases[] = {
        {"", "", false, false, top},
        {"", "", false, true, all},
        {"*.htm?|*.php",
         "",
         false,
         false,
         {"a.html", "B.HTML", "x.php", "a.htmx", "a.htm ", " x.php"}},
        {"*.txt", "", false, false, {"readme.txt", "README.TXT", ".hidden.txt"}},
        // A folder named like a match is never listed, but is searched.
        {"*.txt",
         "",
         false,
         true,
         {"readme.txt", "README.TXT", ".hidden.txt", "sub/c.txt", "sub/deeper/d.txt"}},
        {"*.htm*", "*.html", false, false, {"a.htm", "a.htmx", "a.htm "}},
        {"",
         "*.txt|*.cpp",
         false,
         false,
         {"a.html", "B.HTML", "x.php", "a.htm", "x.php3", "readme.txt.bak", "a.htm ", " x.php",
          "main.cpp.orig", "a.htmx"}},
        // The first empty token ends the list; a leading bar leaves none.
        {"*.txt||*.htm", "", false, false, {"readme.txt", "README.TXT", ".hidden.txt"}},
        {"|*.txt", "", false, false, top},
        {"", "|*.txt", false, false, top},
        // Blanks around the bar belong to the patterns.
        {"*.htm | *.php", "", false, false, {"a.htm ", " x.php"}},
        {"\\.cpp$", "", true, false, {"main.cpp", "MAIN.CPP"}},
        {"^.*\\.cpp$", "", true, false, {"main.cpp", "MAIN.CPP"}},
        {"^a\\.", "\\.html$|x$", true, false, {"a.htm", "a.htm "}},
        {"*.PHP", "", false, true, {"x.php", " x.php", "dir.txt/e.php"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("incl '") + c.incl + "' excl '" + c.excl + "'" +
                     (c.regExp ? " regexp" : "") + (c.recurse ? " recurse" : ""));
        EXPECT_EQ(Search(c.incl, c.excl, c.regExp, c.recurse), c.expected);
        EXPECT_TRUE(m_sink.m_arrShown.empty());
    }
}

TEST_F(SearchFolderTest, ResultsAreDepthFirstPreOrderAndOnlyAppended) {
    std::vector<std::string> results{"kept"};
    SearchFolder(results, true, m_root.Path(), "", "", false, &m_sink);
    ASSERT_EQ(results.front(), "kept");
    // Every folder's files (its sub-folders' included) form one block.
    for (const std::string prefix : {"/sub/", "/sub/deeper/", "/dir.txt/"}) {
        std::vector<std::size_t> at;
        for (std::size_t i = 0; i < results.size(); ++i) {
            if (results[i].rfind(m_root.Path() + prefix, 0) == 0) {
                at.push_back(i);
            }
        }
        ASSERT_FALSE(at.empty());
        EXPECT_EQ(at.back() - at.front() + 1, at.size()) << prefix;
    }
}

TEST_F(SearchFolderTest, TrailingSeparatorGivesTheSameResults) {
    std::vector<std::string> plain, slashed;
    SearchFolder(plain, true, m_root.Path(), "*.txt", "", false, &m_sink);
    SearchFolder(slashed, true, m_root.Path() + "/", "*.txt", "", false, &m_sink);
    EXPECT_EQ(plain, slashed);
    EXPECT_EQ(plain.size(), 5u);
}

TEST_F(SearchFolderTest, SplitRegexFailsWithParenExpectedAndEmptiesTheResults) {
    std::vector<std::string> results{"from an earlier search"};
    SearchFolder(results, false, m_root.Path(), "(a|b)\\.txt", "", true, &m_sink);
    EXPECT_TRUE(results.empty());
    ASSERT_EQ(m_sink.m_arrShown.size(), 1u);
    EXPECT_EQ(m_sink.m_arrShown[0], "Include Filter: Error on regex (a : Paren expected");

    m_sink.m_arrShown.clear();
    SearchFolder(results, false, m_root.Path(), "", "[z-a]", true, &m_sink);
    EXPECT_TRUE(results.empty());
    ASSERT_EQ(m_sink.m_arrShown.size(), 1u);
    EXPECT_EQ(m_sink.m_arrShown[0], "Exclude Filter: Error on regex [z-a] : Invalid range");
}

TEST_F(SearchFolderTest, ErrorInASubFolderIsShownOnceAndEndsTheSearch) {
    // Only the deepest folder has a file the first pattern does not take.
    TempDir root;
    WriteFile(root / "a.txt", "x");
    fs::create_directories(root / "s1/s2");
    WriteFile(root / "s1/a.txt", "x");
    WriteFile(root / "s1/s2/b.txt", "x");
    WriteFile(root / "z.txt", "x");
    std::vector<std::string> results;
    SearchFolder(results, true, root.Path(), "^a\\.txt$|{", "", true, &m_sink);
    EXPECT_TRUE(results.empty());
    ASSERT_EQ(m_sink.m_arrShown.size(), 1u);
    EXPECT_EQ(m_sink.m_arrShown[0], "Include Filter: Error on regex { : Brace expected");
}

TEST(SearchFolder, BadPatternsThatAreNeverTriedReportNothing) {
    TempDir root;
    CRecordingSink sink;
    std::vector<std::string> results;
    // An empty folder, and a folder holding only a sub-folder.
    SearchFolder(results, false, root.Path(), "[z-a]", "", true, &sink);
    fs::create_directories(root / "only.d");
    WriteFile(root / "only.d/f", "x");
    SearchFolder(results, false, root.Path(), "[z-a]", "", true, &sink);
    // A bad pattern after one that matches every file is never compiled.
    TempDir other;
    WriteFile(other / "a.txt", "x");
    SearchFolder(results, false, other.Path(), "^a|(", "", true, &sink);
    EXPECT_TRUE(sink.m_arrShown.empty());
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0], other / "a.txt");
}

TEST(SearchFolder, MissingFolderOrAFileYieldsNothing) {
    TempDir root;
    WriteFile(root / "f.txt", "x");
    CRecordingSink sink;
    std::vector<std::string> results;
    SearchFolder(results, true, root / "missing", "*", "", false, &sink);
    SearchFolder(results, true, root / "f.txt", "*", "", false, &sink);
    SearchFolder(results, true, "", "*", "", false, &sink);
    EXPECT_TRUE(results.empty());
    EXPECT_TRUE(sink.m_arrShown.empty());
}

TEST(SearchFolder, LinksToFoldersAreNotFollowedAndSpecialFilesNotListed) {
    TempDir root;
    fs::create_directories(root / "real");
    WriteFile(root / "real/f.txt", "x");
    fs::create_directory_symlink("..", root / "real/up");        // a loop
    fs::create_directory_symlink(root / "real", root / "alias"); // a second way in
    fs::create_symlink(root / "real/f.txt", root / "link.txt");  // a link to a file
    fs::create_symlink(root / "nowhere.txt", root / "dangling.txt");
    ASSERT_EQ(::mkfifo((root / "pipe.txt").c_str(), 0600), 0);
    CRecordingSink sink;
    std::vector<std::string> results;
    SearchFolder(results, true, root.Path(), "*.txt", "", false, &sink);
    EXPECT_EQ(Relative(results, root.Path()), (std::set<std::string>{"real/f.txt", "link.txt"}));
    // A start folder that is itself a link is searched: the user named it.
    results.clear();
    SearchFolder(results, false, root / "alias", "", "", false, &sink);
    EXPECT_EQ(results, std::vector<std::string>{root / "alias/f.txt"});
}

// Descriptors this process holds now (the count's own listing included).
std::size_t OpenDescriptors() {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

// Folders larger than one read batch, and a deep chain: every file is listed
// once, each folder's subtree as one block (depth first), and the search
// never holds more than one folder open.
TEST(SearchFolder, BigAndDeepFoldersAreListedWholeWithOneFolderOpen) {
    TempDir dir;
    std::set<std::string> expected;
    std::string chain;
    std::vector<std::string> folders;
    for (int depth = 0; depth < 30; ++depth) {
        chain += "d" + std::to_string(depth) + "/";
        fs::create_directories(dir / chain);
        folders.push_back(dir / chain);
        const int files = depth == 0 ? 2100 : depth == 1 ? 1100 : 1;
        for (int i = 0; i < files; ++i) {
            const std::string relative = chain + "f" + std::to_string(i) + ".txt";
            WriteFile(dir / relative, "x");
            expected.insert(relative);
        }
    }
    for (int i = 0; i < 1500; ++i) { // the root: files around the chain
        WriteFile(dir / ("r" + std::to_string(i) + ".txt"), "x");
        expected.insert("r" + std::to_string(i) + ".txt");
    }
    const std::size_t before = OpenDescriptors();
    std::size_t most = 0;
    std::vector<std::string> found;
    ASSERT_TRUE(SearchFolderEach(
        [&](std::string&& path) {
            most = std::max(most, OpenDescriptors());
            found.push_back(std::move(path));
        },
        true, dir.Path(), "*.txt", {}, false));
    EXPECT_EQ(Relative(found, dir.Path()), expected);
    EXPECT_LE(most, before + 1);
    // Depth first: once the search leaves a folder of the chain, nothing
    // under it comes again.
    for (const std::string& prefix : folders) {
        const auto inside = [&](const std::string& p) { return p.rfind(prefix, 0) == 0; };
        const auto first = std::find_if(found.begin(), found.end(), inside);
        const auto last = std::find_if(found.rbegin(), found.rend(), inside).base();
        EXPECT_TRUE(std::all_of(first, last, inside)) << prefix;
    }
}

TEST(FileFindEx, FindFileBuildsTranslatedListsAndTheActiveFlag) {
    TempDir root;
    WriteFile(root / "a.txt", "x");
    CFileFindEx finder;
    EXPECT_TRUE(finder.FiltersActive());
    ASSERT_TRUE(finder.FindFile(root.Path(), "*.txt|?.c", "", false));
    EXPECT_EQ(finder.GetInclusionList(), (std::vector<std::string>{"^.*?\\.txt$", "^.\\.c$"}));
    EXPECT_TRUE(finder.GetExclusionList().empty());
    EXPECT_TRUE(finder.FiltersActive());
    ASSERT_TRUE(finder.FindFile(root.Path(), "(x|y)", "", true));
    EXPECT_EQ(finder.GetInclusionList(), (std::vector<std::string>{"(x", "y)"}));
    ASSERT_TRUE(finder.FindFile(root.Path(), "", "", true));
    EXPECT_FALSE(finder.FiltersActive());
}

} // namespace
} // namespace varnolt
