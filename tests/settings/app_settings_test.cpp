// Settings store: defaults, type rules, write-back and merging with other processes.
#include "platform/registry_file.hpp"
#include "settings/app_settings.hpp"
#include "support/test_support.hpp"

#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace varnolt {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::string RegFile(const std::string& body) {
    return "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Brambleware\\Varnolt 5]\r\n" +
           body;
}

platform::RegValueMap ValuesIn(const std::string& path) {
    return platform::ParseRegText(ReadFile(path));
}

TEST(AppSettings, FreshFileGivesDefaultsAndWritesWhatWasRead) {
    TempDir dir;
    const std::string path = dir / "cfg/settings.reg";
    {
        CAppSettings s(path);
        EXPECT_EQ(s.Encoding.Get(), 0);
        EXPECT_EQ(s.OutputOption.Get(), 1);
        EXPECT_EQ(s.PrependSource.Get(), "_org_");
        EXPECT_EQ(s.PrependDest.Get(), "_unicode_");
        EXPECT_EQ(s.OutputFolder.Get(), "");
        EXPECT_EQ(s.UnicodeFormat.Get(), 2);
        EXPECT_EQ(s.UTF8Option.Get(), 1);
        EXPECT_EQ(s.AddBOM.Get(), 1);
        EXPECT_EQ(s.EntityToUnicode.Get(), 0);
        EXPECT_FALSE(s.DisableMP.Get());
        EXPECT_EQ(s.HtmlFileExt.Get(), "phtml|php3|php|asp|shtml|html|htm");
        // A default that stood in for a missing value is written at exit.
        EXPECT_TRUE(s.Encoding.IsDirty());
        EXPECT_FALSE(s.Encoding.IsLoaded());
        s.NoWarning.Set(true);
    }
    const std::string text = ReadFile(path);
    // Readable and editable by a person.
    EXPECT_NE(text.find("\"PrependSource\"=\"_org_\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"UnicodeFormat\"=dword:00000002"), std::string::npos) << text;
    EXPECT_NE(text.find("\"NoWarning\"=dword:00000001"), std::string::npos) << text;
    const auto values = ValuesIn(path);
    EXPECT_EQ(values.count("Version"), 0u) << "never read, never written";
    EXPECT_EQ(values.count("CodecOptions"), 0u);
    EXPECT_EQ(values.size(), 12u);

    CAppSettings again(path);
    EXPECT_TRUE(again.NoWarning.Get());
    EXPECT_EQ(again.PrependDest.Get(), "_unicode_");
    EXPECT_TRUE(again.PrependDest.IsLoaded());
    EXPECT_FALSE(again.PrependDest.IsDirty());
}

TEST(AppSettings, OutOfRangeValuesAreTakenAsStored) {
    TempDir dir;
    const std::string path = dir / "s.reg";
    WriteFile(path, RegFile("\"Encoding\"=dword:0000004b\r\n\"UnicodeFormat\"=dword:00000007\r\n"
                            "\"OutputOption\"=dword:00000007\r\n\"DisableMP\"=dword:00000005\r\n"));
    CAppSettings s(path);
    EXPECT_EQ(s.Encoding.Get(), 75);
    EXPECT_EQ(s.UnicodeFormat.Get(), 7);
    EXPECT_EQ(s.OutputOption.Get(), 7);
    EXPECT_TRUE(s.DisableMP.Get()) << "any nonzero DWORD reads as true";
    EXPECT_FALSE(s.Encoding.IsDirty());
}

struct WrongTypeCase {
    const char* line;
    const char* name;
};

TEST(AppSettings, WrongTypesFallBackToDefaultAndAreRewrittenAtExit) {
    const WrongTypeCase cases[] = {
        {"\"AddBOM\"=\"1\"", "AddBOM"},                          // string for a DWORD
        {"\"AddBOM\"=hex(4):01,00", "AddBOM"},                   // 2-byte DWORD
        {"\"AddBOM\"=hex(4):00,00,00,00,00,00,00,00", "AddBOM"}, // 8 bytes
        {"\"AddBOM\"=hex:00,00,00,00", "AddBOM"},                // binary, 4 bytes
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        TempDir dir;
        const std::string path = dir / "s.reg";
        WriteFile(path, RegFile(std::string(c.line) + "\r\n"));
        {
            CAppSettings s(path);
            EXPECT_EQ(s.AddBOM.Get(), 1);
            EXPECT_TRUE(s.AddBOM.IsDirty());
        }
        const auto values = ValuesIn(path);
        ASSERT_EQ(values.count(c.name), 1u);
        const platform::RegValue expected{platform::kRegDword, {1, 0, 0, 0}};
        EXPECT_EQ(values.at(c.name), expected);
    }
}

TEST(AppSettings, StringTypeRules) {
    struct Case {
        const char* line;
        const char* expected;
        bool loaded;
    };
    const Case cases[] = {
        // REG_EXPAND_SZ is accepted and not expanded.
        {"\"OutputFolder\"=hex(2):24,00,48,00,00,00", "$H", true},
        {"\"OutputFolder\"=hex(1):61,00,62,00,00,00", "ab", true},
        {"\"OutputFolder\"=hex(1):", "", true},             // zero bytes: empty text
        {"\"OutputFolder\"=hex(1):61,00,62,00", "", false}, // no terminating NUL
        {"\"OutputFolder\"=hex(1):61,00,00", "", false},    // odd byte count
        {"\"OutputFolder\"=dword:00000001", "", false},     // wrong type
        {"\"OutputFolder\"=hex:61,00,00,00", "", false},    // binary
        {"\"OutputFolder\"=\"with \\\"quotes\\\" and \\\\ \xc3\xa9\"",
         "with \"quotes\" and \\ \xc3\xa9", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        TempDir dir;
        const std::string path = dir / "s.reg";
        WriteFile(path, RegFile(std::string(c.line) + "\r\n"));
        CAppSettings s(path);
        EXPECT_EQ(s.OutputFolder.Get(), c.expected);
        EXPECT_EQ(s.OutputFolder.IsLoaded(), c.loaded);
        EXPECT_EQ(s.OutputFolder.IsDirty(), !c.loaded);
    }
}

TEST(AppSettings, LongStringsNeedRegrowthAndHaveALimit) {
    TempDir dir;
    const std::string path = dir / "s.reg";
    const std::string exact(1024, 'x');
    {
        CAppSettings s(path);
        s.LogPathname.Set(exact);
    }
    {
        CAppSettings s(path);
        EXPECT_EQ(s.LogPathname.Get(), exact) << "1,024 characters plus NUL are read whole";
        EXPECT_TRUE(s.LogPathname.IsLoaded());
        s.LogPathname.Set(std::string(CRegStringSetting::kMaxChars, 'y'));
    }
    CAppSettings s(path);
    EXPECT_EQ(s.LogPathname.Get(), "") << "longer than the largest buffer: a failed read";
    EXPECT_TRUE(s.LogPathname.IsDirty());
}

TEST(AppSettings, SetChangesOnlyOnDifferenceAndUntouchedValuesAreNotRewritten) {
    TempDir dir;
    const std::string path = dir / "s.reg";
    WriteFile(path, RegFile("\"PrependDest\"=\"_u_\"\r\n\"Version\"=dword:00000201\r\n"
                            "\"Foreign\"=\"kept\"\r\n"));
    {
        CAppSettings s(path);
        s.PrependDest.Set("_u_");
        EXPECT_FALSE(s.PrependDest.IsDirty());
        s.PrependDest.Set("_U_"); // case-sensitive comparison
        EXPECT_TRUE(s.PrependDest.IsDirty());
        // Someone else edits Version meanwhile; we never touched it.
        WriteFile(path, RegFile("\"PrependDest\"=\"_u_\"\r\n\"Version\"=dword:00000099\r\n"
                                "\"Foreign\"=\"kept\"\r\n"));
    }
    CAppSettings s(path);
    EXPECT_EQ(s.PrependDest.Get(), "_U_");
    EXPECT_EQ(s.Version.Get(), 0x99);
    EXPECT_EQ(ValuesIn(path).count("Foreign"), 1u);
}

TEST(AppSettings, AnotherProcessesValuesSurviveOurWriteBack) {
    TempDir dir;
    const std::string path = dir / "s.reg";
    {
        CAppSettings ours(path);
        ours.Encoding.Set(5);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            {
                CAppSettings theirs(path);
                theirs.PrependSource.Set("_theirs_");
            }
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    CAppSettings s(path);
    EXPECT_EQ(s.Encoding.Get(), 5);
    EXPECT_EQ(s.PrependSource.Get(), "_theirs_");
}

TEST(AppSettings, UnreadableFileMeansDefaultsAndIsNeverOverwritten) {
    TempDir dir;
    const std::string path = dir / "s.reg";
    ASSERT_EQ(::mkdir(path.c_str(), 0700), 0); // a folder where the file should be
    {
        CAppSettings s(path);
        EXPECT_EQ(s.UnicodeFormat.Get(), 2);
        s.UnicodeFormat.Set(0);
        EXPECT_EQ(s.UnicodeFormat.Get(), 0);
    }
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST(AppSettings, BinaryValuesAreWrittenAtOnceByTheirOwners) {
    TempDir dir;
    const std::string path = dir / "s.reg";
    const std::vector<std::uint8_t> blob{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    {
        CAppSettings s(path);
        std::vector<std::uint8_t> read;
        EXPECT_FALSE(s.ReadBinary(s.CodecOptions, read));
        EXPECT_TRUE(s.WriteBinary(s.CodecOptions, blob));
        EXPECT_EQ(ValuesIn(path).at("CodecOptions").data, blob) << "on disk before exit";
    }
    CAppSettings s(path);
    std::vector<std::uint8_t> read;
    ASSERT_TRUE(s.ReadBinary(s.CodecOptions, read));
    EXPECT_EQ(read, blob);
}

// A file a person has kept: comments, a foreign section on either side of
// ours, a line that is no value, a value this version never reads, a continued
// hex value, a malformed value of ours, CRLF line ends.
const std::string kKeptFile = "Windows Registry Editor Version 5.00\r\n"
                              "\r\n"
                              "; written by hand\r\n"
                              "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
                              "\"Encoding\"=dword:00000009\r\n"
                              "\r\n"
                              "[HKEY_CURRENT_USER\\Software\\Brambleware\\Varnolt 5]\r\n"
                              "; my own note\r\n"
                              "\"Encoding\"=dword:00000003\r\n"
                              "this line is not a value\r\n"
                              "\"Future\"=\"a value this version never reads\"\r\n"
                              "\"CodecOptions\"=hex:01,02,\\\r\n"
                              "  03\r\n"
                              "\"AddBOM\"=dword:xyz\r\n"
                              "\"PrependDest\"=\"_u_\"\r\n"
                              "\r\n"
                              "[HKEY_CURRENT_USER\\Software\\After]\r\n"
                              "\"X\"=\"y\" ; left as it is\r\n";

TEST(AppSettings, SavingChangesOnlyTheLinesOfChangedValues) {
    struct Case {
        const char* name;
        std::function<void(CAppSettings&)> act;
        std::string from; // expected: kKeptFile with `from` replaced by `to`
        std::string to;
    };
    const Case cases[] = {
        {"a changed value replaces its own line", [](CAppSettings& s) { s.Encoding.Set(5); },
         "\"Encoding\"=dword:00000003\r\n", "\"Encoding\"=dword:00000005\r\n"},
        {"a new value goes at the end of our section",
         [](CAppSettings& s) { s.NoWarning.Set(true); }, "\"PrependDest\"=\"_u_\"\r\n",
         "\"PrependDest\"=\"_u_\"\r\n\"NoWarning\"=dword:00000001\r\n"},
        {"a malformed value of ours is replaced by its default",
         [](CAppSettings& s) { EXPECT_EQ(s.AddBOM.Get(), 1); }, "\"AddBOM\"=dword:xyz\r\n",
         "\"AddBOM\"=dword:00000001\r\n"},
        {"a continued hex value is replaced whole",
         [](CAppSettings& s) { EXPECT_TRUE(s.WriteBinary(s.CodecOptions, {0xAB})); },
         "\"CodecOptions\"=hex:01,02,\\\r\n  03\r\n", "\"CodecOptions\"=hex:ab\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir / "s.reg";
        WriteFile(path, kKeptFile);
        {
            CAppSettings s(path);
            c.act(s);
        }
        std::string expected = kKeptFile;
        if (!c.from.empty()) {
            const std::size_t at = expected.find(c.from);
            ASSERT_NE(at, std::string::npos);
            expected.replace(at, c.from.size(), c.to);
        }
        EXPECT_EQ(ReadFile(path), expected);
    }
}

TEST(AppSettings, AValueTheFileAlreadyHoldsLeavesTheFileUntouched) {
    TempDir dir;
    const std::string path = dir / "s.reg";
    WriteFile(path, kKeptFile);
    struct stat before {};
    {
        CAppSettings s(path);
        s.Encoding.Set(5);
        // Another process saves the same value, spelt its own way, meanwhile.
        std::string theirs = kKeptFile;
        theirs.replace(theirs.find("dword:00000003"), 14, "dword:5");
        WriteFile(path, theirs);
        ASSERT_EQ(::stat(path.c_str(), &before), 0);
    }
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "not rewritten";
    EXPECT_NE(ReadFile(path).find("\"Encoding\"=dword:5\r\n"), std::string::npos);
}

TEST(AppSettings, SavingKeepsALinkedFileLinkedAndItsMode) {
    TempDir dir;
    const std::string target = dir / "dotfiles/settings.reg";
    const std::string link = dir / "settings.reg";
    ASSERT_EQ(::mkdir((dir / "dotfiles").c_str(), 0700), 0);
    WriteFile(target, kKeptFile);
    ASSERT_EQ(::chmod(target.c_str(), 0644), 0);
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    {
        CAppSettings s(link);
        s.Encoding.Set(5);
    }
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(ValuesIn(target).at("Encoding").data, (std::vector<std::uint8_t>{5, 0, 0, 0}));
    EXPECT_EQ(ValuesIn(target).count("Future"), 1u);

    // A link that leads nowhere is not replaced by a file.
    const std::string dangling = dir / "dangling.reg";
    ASSERT_EQ(::symlink((dir / "missing/settings.reg").c_str(), dangling.c_str()), 0);
    {
        CAppSettings s(dangling);
        s.Encoding.Set(5);
    }
    ASSERT_EQ(::lstat(dangling.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST(RegText, MergingAtTheEdgesOfTheText) {
    const platform::RegValueMap changes{{"A", {platform::kRegDword, {1, 0, 0, 0}}}};
    const std::string section = "[HKEY_CURRENT_USER\\Software\\Brambleware\\Varnolt 5]";
    struct Case {
        const char* name;
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"empty file", "",
         "Windows Registry Editor Version 5.00\n\n" + section + "\n\"A\"=dword:00000001\n"},
        {"byte-order mark only", "\xEF\xBB\xBF",
         "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n" + section +
             "\n\"A\"=dword:00000001\n"},
        {"no section of ours, no final line end", "; mine\r\n[Other]\r\n\"A\"=dword:00000007",
         "; mine\r\n[Other]\r\n\"A\"=dword:00000007\r\n\r\n" + section +
             "\r\n\"A\"=dword:00000001\r\n"},
        {"our section last, no final line end", section + "\n\"B\"=\"b\"",
         section + "\n\"B\"=\"b\"\n\"A\"=dword:00000001\n"},
        {"the file ends inside a continued hex value", section + "\n\"B\"=hex:01,\\",
         section + "\n\"B\"=hex:01,\\\n\n\"A\"=dword:00000001\n"},
        {"a name given twice: the last line is the one read, and replaced",
         section + "\n\"A\"=dword:00000002\n\"A\"=dword:00000003\n; end\n",
         section + "\n\"A\"=dword:00000002\n\"A\"=dword:00000001\n; end\n"},
        {"a later unreadable line of the name is the one replaced",
         section + "\n\"A\"=dword:00000002\n\"A\"=oops\n",
         section + "\n\"A\"=dword:00000002\n\"A\"=dword:00000001\n"},
        {"our section twice, in another case: new values go to the last",
         section + "\n\"B\"=\"b\"\n[Other]\n[hkey_current_user\\software\\brambleware\\varnolt 5]\n"
                   "\"C\"=\"c\"\n\n[Last]\n",
         section + "\n\"B\"=\"b\"\n[Other]\n[hkey_current_user\\software\\brambleware\\varnolt 5]\n"
                   "\"C\"=\"c\"\n\"A\"=dword:00000001\n\n[Last]\n"},
        {"the value is there already", section + "\r\n\"A\"=dword:1 \r\n",
         section + "\r\n\"A\"=dword:1 \r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string merged = platform::MergeRegText(c.text, changes);
        EXPECT_EQ(merged, c.expected);
        platform::RegValueMap expectedValues = platform::ParseRegText(c.text);
        expectedValues["A"] = changes.at("A");
        EXPECT_EQ(platform::ParseRegText(merged), expectedValues);
    }
}

TEST(HtmlFileExt, ColonsDotsAndCaseFollowTheRule) {
    const std::string stored = " .HTM:.Html ";
    EXPECT_TRUE(IsExtensionInList(stored, "htm"));
    EXPECT_TRUE(IsExtensionInList(stored, "HTML"));
    EXPECT_FALSE(IsExtensionInList(stored, "php"));
    EXPECT_FALSE(IsExtensionInList(stored, "ht"));
    EXPECT_TRUE(IsExtensionInList(kDefaultHtmlFileExt, "PHP3"));
    EXPECT_FALSE(IsExtensionInList("a||b", "")) << "an empty token never matches";
}

TEST(HtmlFileExt, ListSplitsAndJoinsAsThePreferencesShowAndStoreIt) {
    using List = std::vector<std::string>;
    const struct {
        const char* stored;
        List shown;
    } splits[] = {
        {".htm:.html|php", {"htm", "html", "php"}},
        {kDefaultHtmlFileExt, {"phtml", "php3", "php", "asp", "shtml", "html", "htm"}},
        {"  ||a..b|| ", {"ab"}},
        {"x | y", {"x ", " y"}},
        {" \t ", {}},
        {"", {}},
    };
    for (const auto& c : splits) {
        EXPECT_EQ(SplitExtensionList(c.stored), c.shown) << c.stored;
    }
    const struct {
        List shown;
        const char* stored;
    } joins[] = {
        {{"htm", "html", "php"}, "htm|html|php"},
        {{"tar.gz", " .HTM "}, "targz|HTM"},
        {{"x ", " y"}, "x|y"},
        {{"a", " . ", "", "b"}, "a|b"},
        {{}, ""},
    };
    for (const auto& c : joins) {
        EXPECT_EQ(JoinExtensionList(c.shown), c.stored) << c.stored;
    }
}

TEST(HtmlFileExt, TypedExtensionIsCleanedAndCheckedForTheNineCharacters) {
    const struct {
        const char* typed;
        const char* cleaned;
    } inputs[] = {
        {".htm", "htm"},      {" ..htm", "htm"}, {" .txt ", "txt"},
        {". . htm", "htm"},   {".", ""},         {"  ", ""},
        {"tar.gz", "tar.gz"}, {"a.", "a."},      {"my ext", "my ext"},
        {"\t.\v", ""},
    };
    for (const auto& c : inputs) {
        EXPECT_EQ(CleanExtensionInput(c.typed), c.cleaned) << '"' << c.typed << '"';
    }
    for (char bad : std::string("\\/:*?\"<>|")) {
        EXPECT_FALSE(IsValidExtension(std::string("a") + bad + "b")) << bad;
    }
    for (const char* good : {"htm", "tar.gz", "a b", "\xC3\xA9", "a+b", "a~b", "a;b"}) {
        EXPECT_TRUE(IsValidExtension(good)) << good;
    }
}

TEST(RegText, ParsesContinuationsCommentsAndSections) {
    const std::string text = "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n"
                             "[HKEY_CURRENT_USER\\Software\\Other]\n\"Encoding\"=dword:00000009\n"
                             "[hkey_current_user\\software\\brambleware\\varnolt 5]\n"
                             "; a comment\n"
                             "\"Blob\"=hex:01,02,\\\n  03,04\n"
                             "\"Path\"=\"C:\\\\dir\\\\\"\n"
                             "\"Bad\"=dword:xyz\n";
    const auto values = platform::ParseRegText(text);
    EXPECT_EQ(values.count("Encoding"), 0u);
    EXPECT_EQ(values.count("Bad"), 0u);
    ASSERT_EQ(values.count("Blob"), 1u);
    EXPECT_EQ(values.at("Blob").data, (std::vector<std::uint8_t>{1, 2, 3, 4}));
    ASSERT_EQ(values.count("Path"), 1u);
    EXPECT_EQ(values.at("Path").type, platform::kRegSz);

    // What we format, we read back to the same values.
    platform::RegValueMap many = values;
    many["Odd"] = {platform::kRegSz, {0x61, 0x00, 0x00}};
    many["Lines"] = {platform::kRegSz, {0x61, 0x00, 0x0A, 0x00, 0x00, 0x00}};
    many["Big"] = {platform::kRegBinary, std::vector<std::uint8_t>(200, 0xAB)};
    EXPECT_EQ(platform::ParseRegText(platform::FormatRegText(many)), many);
}

} // namespace
} // namespace varnolt
