// Configuration profiles: exact file layout, round trip, and the reading rules
// of both users (the dialog's common reading and a non-interactive run).
#include "platform/file_io.hpp"
#include "platform/text_utf.hpp"
#include "settings/encoding_catalogue.hpp"
#include "settings/profile.hpp"
#include "support/test_support.hpp"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <vector>

namespace varnolt {
namespace {

// The UTF-16LE bytes of the given UTF-8 lines, each followed by a line feed.
std::string Utf16Lines(const std::vector<std::string>& lines, bool lastLineFeed = true) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += lines[i];
        if (i + 1 < lines.size() || lastLineFeed) {
            text += '\n';
        }
    }
    std::string bytes;
    for (const char16_t unit : Utf8ToUtf16(text)) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

const std::string kSig = "\xEF\xBB\xBFTaVo"; // U+FEFF "TaVo" in UTF-8

// Lines 2 to 11 of a profile, changed by the cases below.
std::vector<std::string> Lines(std::string version = "2", std::string codePage = "1252",
                               std::string option = "2", std::string format = "2",
                               std::string meta = "1", std::string entity = "0",
                               std::string bom = "1") {
    return {kSig, version, codePage, option, "bak_", "new_", "/out/dir", format, meta, entity, bom};
}

TEST(Profile, WritesTheExactLayout) {
    ProfileOptions o;
    o.nCodePage = 932;
    o.nOutputOption = 2;
    o.strBackupPrefix = "";
    o.strDestPrefix = "u_";
    o.strOutputFolder = "/home/ann/Übersetzt";
    o.nUnicodeFormat = 2;
    o.bUtf8Meta = true;
    o.bEntityToUnicode = false;
    o.bAddBOM = true;
    const std::string expected =
        Utf16Lines({kSig, "2", "932", "2", "", "u_", "/home/ann/Übersetzt", "2", "1", "0", "1"});
    EXPECT_EQ(FormatProfile(o), expected);
    // Only line feeds, no carriage returns; FF FE first.
    EXPECT_EQ(expected.substr(0, 4), std::string("\xFF\xFE\x54\x00", 4));
    EXPECT_EQ(expected.find(std::string("\r\0", 2)), std::string::npos);

    test::TempDir dir;
    ASSERT_TRUE(WriteProfile(dir / "p.vnp", o));
    EXPECT_EQ(test::ReadFile(dir / "p.vnp"), expected);
}

TEST(Profile, RoundTripKeepsEveryValueAndText) {
    test::TempDir dir;
    ProfileOptions o;
    o.nCodePage = 59999;
    o.nOutputOption = 1;
    o.strBackupPrefix = "  orig ";          // blanks on both ends stay
    o.strDestPrefix = "\xE6\x96\xB0_\"q\""; // CJK and quotes
    o.strOutputFolder = "\t/srv/out dir/ ";
    o.nUnicodeFormat = 1;
    o.bUtf8Meta = false;
    o.bEntityToUnicode = true;
    o.bAddBOM = false;
    ASSERT_TRUE(WriteProfile(dir / "p.vnp", o));

    ProfileContent read;
    ASSERT_EQ(ReadProfile(dir / "p.vnp", read), ProfileStatus::Ok);
    EXPECT_EQ(read.nVersion, 2);
    const ProfileOptions& r = read.options;
    EXPECT_EQ(r.nCodePage, o.nCodePage);
    EXPECT_EQ(r.nOutputOption, o.nOutputOption);
    EXPECT_EQ(r.strBackupPrefix, o.strBackupPrefix);
    EXPECT_EQ(r.strDestPrefix, o.strDestPrefix);
    EXPECT_EQ(r.strOutputFolder, o.strOutputFolder);
    EXPECT_EQ(r.nUnicodeFormat, o.nUnicodeFormat);
    EXPECT_EQ(r.bUtf8Meta, o.bUtf8Meta);
    EXPECT_EQ(r.bEntityToUnicode, o.bEntityToUnicode);
    EXPECT_EQ(r.bAddBOM, o.bAddBOM);

    ProfileRunOptions run;
    ASSERT_EQ(ReadForRun(dir / "p.vnp", run), ProfileStatus::Ok);
    EXPECT_EQ(run.strOutputArg, o.strDestPrefix);
}

TEST(Profile, WritingRefusesTextsTheFileCannotCarryAndKeepsTheOldFile) {
    test::TempDir dir;
    const std::string path = dir / "p.vnp";
    test::WriteFile(path, "old");
    ::chmod(path.c_str(), 0640);
    for (const std::string& bad :
         {std::string("a\nb"), std::string("a\0b", 3), std::string("\xFF\xFE")}) {
        ProfileOptions o;
        o.strOutputFolder = bad;
        EXPECT_FALSE(WriteProfile(path, o));
        EXPECT_EQ(test::ReadFile(path), "old");
    }
    // A good write replaces the file, keeps its permission bits, leaves no temp file.
    ASSERT_TRUE(WriteProfile(path, ProfileOptions{}));
    EXPECT_EQ(test::ReadFile(path), FormatProfile(ProfileOptions{}));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_FALSE(WriteProfile(dir / "missing/p.vnp", ProfileOptions{}));
    EXPECT_FALSE(WriteProfile(dir.Path(), ProfileOptions{})); // a folder
}

// A failure at any step of writing leaves the old profile whole and no
// temporary file behind.
TEST(Profile, AFailedWriteKeepsTheOldProfile) {
    test::TempDir dir;
    const std::string path = dir / "p.vnp";
    test::WriteFile(path, "old profile");
    for (const auto op : {platform::FaultOp::kCreateUnique, platform::FaultOp::kWrite,
                          platform::FaultOp::kSync, platform::FaultOp::kRename}) {
        platform::InjectFault(op, 1, ENOSPC);
        EXPECT_FALSE(WriteProfile(path, ProfileOptions{}));
        platform::ClearFaults();
        EXPECT_EQ(test::ReadFile(path), "old profile");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                                std::filesystem::directory_iterator()),
                  1);
    }
}

TEST(Profile, WritingThroughALinkReplacesItsTarget) {
    test::TempDir dir;
    test::WriteFile(dir / "real.vnp", "old");
    std::filesystem::create_symlink("real.vnp", dir / "link.vnp");
    ASSERT_TRUE(WriteProfile(dir / "link.vnp", ProfileOptions{}));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.vnp"));
    EXPECT_EQ(test::ReadFile(dir / "real.vnp"), FormatProfile(ProfileOptions{}));

    // A relative target counts from the link's real folder, not from the
    // path's text: a/.. is p/q here. A dangling target is created there.
    namespace fs = std::filesystem;
    fs::create_directories(dir / "p/q/a");
    fs::create_directories(dir / "p/q/x");
    fs::create_directories(dir / "x");
    fs::create_symlink("p/q/a", dir / "a");
    test::WriteFile(dir / "p/q/x/real.vnp", "old");
    test::WriteFile(dir / "x/real.vnp", "decoy");
    fs::create_symlink("../x/real.vnp", dir / "p/q/a/link.vnp");
    fs::create_symlink("../x/new.vnp", dir / "p/q/a/dangling.vnp");
    ASSERT_TRUE(WriteProfile(dir / "a/link.vnp", ProfileOptions{}));
    ASSERT_TRUE(WriteProfile(dir / "a/dangling.vnp", ProfileOptions{}));
    EXPECT_EQ(test::ReadFile(dir / "p/q/x/real.vnp"), FormatProfile(ProfileOptions{}));
    EXPECT_EQ(test::ReadFile(dir / "p/q/x/new.vnp"), FormatProfile(ProfileOptions{}));
    EXPECT_EQ(test::ReadFile(dir / "x/real.vnp"), "decoy");
    EXPECT_FALSE(fs::exists(dir / "x/new.vnp"));
    EXPECT_TRUE(fs::is_symlink(dir / "p/q/a/dangling.vnp"));
}

// Reading for a run: one row per rule of the format.
TEST(Profile, ReadForRunCases) {
    struct Case {
        const char* name;
        std::string bytes;
        ProfileStatus status;
        std::int32_t codePage = 0, option = 0, format = 0;
        std::string arg{};
        bool meta = false, entity = false, bom = false;
    };
    const auto file = [](std::vector<std::string> lines) { return Utf16Lines(lines); };
    auto v1 = Lines("1");
    v1.pop_back(); // 10 lines
    auto cut = Lines();
    cut.resize(4); // ends after the output option
    const std::string sigOnly("\xFF\xFE"
                              "A\0n\0J\0",
                              8);
    const Case cases[] = {
        {"written by us", file(Lines()), ProfileStatus::Ok, 1252, 2, 2, "/out/dir", true, false,
         true},
        {"signature AnJ", sigOnly, ProfileStatus::BadSignature},
        {"signature cut short", std::string("\xFF\xFET\0a\0V\0", 8), ProfileStatus::BadSignature},
        {"signature case", file({"\xEF\xBB\xBFTAVO", "2"}), ProfileStatus::BadSignature},
        {"no byte-order mark", file({"TaVo", "2"}), ProfileStatus::BadSignature},
        {"UTF-8 file", "\xEF\xBB\xBFTaVo\n2\n", ProfileStatus::BadSignature},
        {"empty file", "", ProfileStatus::BadSignature},
        {"version 0 ignores line 11", file(Lines("0", "1252", "2", "2", "1", "0", "0")),
         ProfileStatus::Ok, 1252, 2, 2, "/out/dir", true, false, true},
        {"version 1, 10 lines", file(v1), ProfileStatus::Ok, 1252, 2, 2, "/out/dir", true, false,
         true},
        {"version 2, no BOM", file(Lines("2", "1252", "2", "2", "1", "0", "0")), ProfileStatus::Ok,
         1252, 2, 2, "/out/dir", true, false, false},
        {"version 3", file(Lines("3")), ProfileStatus::BadVersion},
        {"version 99999999999", file(Lines("99999999999")), ProfileStatus::BadVersion},
        {"version -1", file(Lines("-1")), ProfileStatus::BadVersion},
        {"version with text after it", file(Lines(" 2abc")), ProfileStatus::Ok, 1252, 2, 2,
         "/out/dir", true, false, true},
        {"empty version is 0", file(Lines("", "1252", "2", "2", "1", "0", "0")), ProfileStatus::Ok,
         1252, 2, 2, "/out/dir", true, false, true},
        {"code page not in the catalogue", file(Lines("2", "1259")), ProfileStatus::Ok, 1259, 2, 2,
         "/out/dir", true, false, true},
        {"code page with sign and blanks", file(Lines("2", " \t+932xyz")), ProfileStatus::Ok, 932,
         2, 2, "/out/dir", true, false, true},
        {"non-numeric code page is 0", file(Lines("2", "abc")), ProfileStatus::Ok, 0, 2, 2,
         "/out/dir", true, false, true},
        {"option 0 takes the backup prefix", file(Lines("2", "1252", "0")), ProfileStatus::Ok, 1252,
         0, 2, "bak_", true, false, true},
        {"option 1 takes the converted prefix", file(Lines("2", "1252", "1")), ProfileStatus::Ok,
         1252, 1, 2, "new_", true, false, true},
        {"option 3", file(Lines("2", "1252", "3")), ProfileStatus::BadOutputOption},
        {"option -1", file(Lines("2", "1252", "-1")), ProfileStatus::BadOutputOption},
        {"format 3", file(Lines("2", "1252", "2", "3")), ProfileStatus::BadUnicodeFormat},
        {"format -1", file(Lines("2", "1252", "2", "-1")), ProfileStatus::BadUnicodeFormat},
        {"meta needs UTF-8", file(Lines("2", "1252", "2", "0", "1")), ProfileStatus::Ok, 1252, 2, 0,
         "/out/dir", false, false, true},
        {"meta is any nonzero", file(Lines("2", "1252", "2", "2", "-7", "5", "2")),
         ProfileStatus::Ok, 1252, 2, 2, "/out/dir", true, true, true},
        {"missing lines read as empty", file(cut), ProfileStatus::Ok, 1252, 2, 0, "", false, false,
         false},
        {"no final line feed", Utf16Lines(Lines(), false), ProfileStatus::Ok, 1252, 2, 2,
         "/out/dir", true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        test::WriteFile(dir / "p.vnp", c.bytes);
        ProfileRunOptions run;
        run.strOutputArg = "untouched";
        ASSERT_EQ(ReadForRun(dir / "p.vnp", run), c.status);
        if (c.status != ProfileStatus::Ok) {
            EXPECT_EQ(run.strOutputArg, "untouched");
            continue;
        }
        EXPECT_EQ(run.nCodePage, c.codePage);
        EXPECT_EQ(run.nOutputOption, c.option);
        EXPECT_EQ(run.nUnicodeFormat, c.format);
        EXPECT_EQ(run.strOutputArg, c.arg);
        EXPECT_EQ(run.bUtf8Meta, c.meta);
        EXPECT_EQ(run.bEntityToUnicode, c.entity);
        EXPECT_EQ(run.bAddBOM, c.bom);
    }
}

// The main dialog's rules: catalogue lookup, format range, meta enabling.
TEST(Profile, DialogValues) {
    struct Case {
        std::int32_t codePage, option, format;
        int encodingIndex, formatIndex;
        bool metaEnabled;
    };
    const Case cases[] = {
        {1252, 2, 2, EncodingCatalogue::IndexOf(1252), 2, true},
        {1259, 1, 0, 0, 0, false}, // not in the catalogue: the first entry
        {932, 7, 3, EncodingCatalogue::IndexOf(932), 0, false}, // option kept as read
        {932, 0, -1, EncodingCatalogue::IndexOf(932), 0, false},
    };
    for (const auto& c : cases) {
        ProfileContent content;
        content.nVersion = 1;
        content.options.nCodePage = c.codePage;
        content.options.nOutputOption = c.option;
        content.options.nUnicodeFormat = c.format;
        content.options.bUtf8Meta = true;
        content.options.strOutputFolder = " /x ";
        const ProfileDialogValues v = ToDialogValues(content);
        EXPECT_EQ(v.nEncodingIndex, c.encodingIndex) << c.codePage;
        EXPECT_EQ(v.nOutputOption, c.option);
        EXPECT_EQ(v.nUnicodeFormatIndex, c.formatIndex) << c.format;
        EXPECT_EQ(v.bMetaEnabled, c.metaEnabled) << c.format;
        EXPECT_TRUE(v.bUtf8Meta);
        EXPECT_EQ(v.strOutputFolder, " /x ");
    }
}

TEST(Profile, TextLinesLoseOnlyTheirLineFeed) {
    test::TempDir dir;
    auto lines = Lines("2", "1252", "0");
    lines[4] = " bak\r";                     // a carriage return stays part of the text
    lines[5] = std::string("new_\0/etc", 9); // a NUL ends the text
    test::WriteFile(dir / "p.vnp", Utf16Lines(lines));
    ProfileContent content;
    ASSERT_EQ(ReadProfile(dir / "p.vnp", content), ProfileStatus::Ok);
    EXPECT_EQ(content.options.strBackupPrefix, " bak\r");
    EXPECT_EQ(content.options.strDestPrefix, "new_");
}

TEST(Profile, ReadsOnlyWhatAProfileCanHold) {
    test::TempDir dir;
    ProfileRunOptions run;
    EXPECT_EQ(ReadForRun(dir / "missing.vnp", run), ProfileStatus::CannotRead);
    EXPECT_EQ(ReadForRun(dir.Path(), run), ProfileStatus::CannotRead);

    // Anything after line 11 is never needed, however large.
    test::WriteFile(dir / "tail.vnp", Utf16Lines(Lines()) + std::string(3 << 20, 'x'));
    EXPECT_EQ(ReadForRun(dir / "tail.vnp", run), ProfileStatus::Ok);
    EXPECT_EQ(run.strOutputArg, "/out/dir");

    // A line of megabytes is no profile; it is refused, not read without end.
    auto lines = Lines();
    lines[6] = std::string(2 << 20, 'd');
    test::WriteFile(dir / "huge.vnp", Utf16Lines(lines));
    EXPECT_EQ(ReadForRun(dir / "huge.vnp", run), ProfileStatus::CannotRead);
}

// The bundled sample profiles are made by tools/make_samples.py; they must be
// byte for byte what our own writer makes, and usable for a run.
TEST(Profile, BundledSampleProfilesAreOurFormat) {
    int count = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(VARNOLT_SOURCE_DIR "/samples/profiles")) {
        SCOPED_TRACE(entry.path().string());
        ProfileContent content;
        ASSERT_EQ(ReadProfile(entry.path(), content), ProfileStatus::Ok);
        EXPECT_EQ(test::ReadFile(entry.path()), FormatProfile(content.options));
        ProfileRunOptions run;
        ASSERT_EQ(ReadForRun(entry.path(), run), ProfileStatus::Ok);
        EXPECT_EQ(run.nOutputOption, 2);
        EXPECT_EQ(run.strOutputArg, "samples/converted");
        ++count;
    }
    EXPECT_GT(count, 0);
}

} // namespace
} // namespace varnolt
