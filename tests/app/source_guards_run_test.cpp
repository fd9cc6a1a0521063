// The source guards through the real program: a file that is not in the
// source encoding is refused with a warning and nothing is written for it;
// --force converts it as before; genuine text in many code pages passes.
#include "decode/source_guards.hpp"
#include "settings/profile.hpp"
#include "support/run_space.hpp"
#include "support/test_support.hpp"

#include <filesystem>
#include <gtest/gtest.h>

namespace varnolt {
namespace {

using namespace std::string_literals;
using test::ReadFile;
using test::WriteFile;
namespace fs = std::filesystem;

TEST(SourceGuardsRun, RefusedFilesGetAWarningAndNothingIsWritten) {
    test::RunSpace space;
    fs::create_directories(space / "out");
    struct Source {
        const char* name;
        std::string bytes;
        const char* finding; // on the console line; empty: converts
    };
    const Source sources[] = {
        {"latin.txt", "Caf\xE9 cr\xE8me\r\n", ""},
        {"utf8.txt", "Caf\xC3\xA9 cr\xC3\xA8me\r\n", "it seems to be UTF-8 text"},
        {"bom.txt", "\xEF\xBB\xBFplain\r\n", "starts with a UTF-8 byte-order mark"},
        {"utf16.txt", "H\0i\0 \0t\0h\0e\0r\0e\0\r\0\n\0"s,
         "it seems to be UTF-16 little-endian text without a byte-order mark"},
        {"image.bin", "\x89PNG\r\n\x1A\n\0\0\0\rIHDR\0\0\0\x10"s, "looks binary"},
    };
    std::vector<std::string> files;
    for (const Source& s : sources) {
        WriteFile(space / s.name, s.bytes);
        files.push_back(space / s.name);
    }
    space.WriteProfile(test::MakeOptions(1252, 2, space / "out", 2, false));

    const auto r = space.Run(files);
    EXPECT_EQ(r.exitCode, 16) << r.err; // warnings only
    const auto records = test::ReadLogRecords(space.LogPath());
    ASSERT_EQ(records.size(), std::size(sources));
    for (std::size_t i = 0; i < std::size(sources); ++i) {
        const Source& s = sources[i];
        SCOPED_TRACE(s.name);
        const std::string path = space / s.name;
        if (*s.finding == '\0') {
            EXPECT_EQ(records[i].status, "OK");
            EXPECT_TRUE(fs::exists(space / ("out/" + std::string(s.name))));
            continue;
        }
        // The log keeps its format: a record with the new message's text.
        EXPECT_EQ(records[i].status,
                  "Warning - The file does not seem to be in the source encoding. It is not "
                  "converted.");
        EXPECT_FALSE(fs::exists(space / ("out/" + std::string(s.name))));
        // The finding is on the console line and on standard error.
        const std::size_t line = r.out.find(path + " [warning] (");
        ASSERT_NE(line, std::string::npos) << r.out;
        EXPECT_NE(r.out.substr(line, r.out.find('\n', line) - line).find(s.finding),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.err.find(path + ": The file does not seem"), std::string::npos) << r.err;
        EXPECT_EQ(ReadFile(path), s.bytes);
    }
    EXPECT_NE(r.err.find("--force"), std::string::npos);
    // Nothing was left in the temporary folder either.
    EXPECT_EQ(test::CountEntries(space.TempFolder()), 0u);

    // --force converts them all as code page 1252 text, as it always did.
    fs::remove_all(space / "out");
    fs::create_directories(space / "out");
    std::vector<std::string> forced = files;
    forced.insert(forced.begin(), "--force");
    const auto f = space.Run(forced);
    EXPECT_EQ(f.exitCode, 0) << f.out << f.err;
    EXPECT_EQ(f.err, "");
    EXPECT_EQ(ReadFile(space / "out/utf8.txt"), "Caf\xC3\x83\xC2\xA9 cr\xC3\x83\xC2\xA8me\r\n");
    EXPECT_EQ(ReadFile(space / "out/utf16.txt"), "Hi there\r\n");
}

// Real text from the samples and fixtures (translations re-encoded into the
// code pages that cover them; tests/fixtures/guards/README.md): no guard
// fires on a genuine file of its encoding.
TEST(SourceGuardsRun, GenuineTextIsNeverRefused) {
    struct Sample {
        std::string path;
        std::int32_t codePage;
    };
    std::vector<Sample> samples = {
        {"samples/fr_cafe_menu_1252.html", 1252},     {"samples/glossary_utf16le.txt", 1200},
        {"samples/ja_notice_shift_jis.txt", 932},     {"samples/ru_library_report_1251.txt", 1251},
        {"samples/zh_tw_night_market_big5.txt", 950},
    };
    // Fixture names end in _<code page>.txt.
    for (const auto& entry :
         fs::directory_iterator(std::string(VARNOLT_SOURCE_DIR) + "/tests/fixtures/guards")) {
        const std::string name = entry.path().filename().string();
        const std::size_t mark = name.rfind('_');
        if (entry.path().extension() != ".txt" || mark == std::string::npos) {
            continue;
        }
        samples.push_back({"tests/fixtures/guards/" + name, std::stoi(name.substr(mark + 1))});
    }
    ASSERT_GT(samples.size(), 30u);
    for (const Sample& sample : samples) {
        SCOPED_TRACE(sample.path);
        const std::string bytes = ReadFile(std::string(VARNOLT_SOURCE_DIR) + "/" + sample.path);
        ASSERT_FALSE(bytes.empty());
        const auto finding =
            CheckSourceGuards(sample.codePage, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                              bytes.size(), bytes.size() <= kGuardWindow);
        EXPECT_FALSE(finding) << finding->strWhat;
    }
}

} // namespace
} // namespace varnolt
