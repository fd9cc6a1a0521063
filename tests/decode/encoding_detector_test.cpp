// Encoding detection: known files, ASCII, empty input, cut heads and files
// that are not regular.
#include "decode/encoding_detector.hpp"
#include "settings/encoding_catalogue.hpp"
#include "support/test_support.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>

namespace varnolt {
namespace {

using test::TempDir;
using test::WriteFile;

std::span<const std::byte> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::byte*>(text.data()), text.size()};
}

// The code pages that share the best confidence.
std::set<std::int32_t> BestPages(const std::vector<DetectionCandidate>& candidates) {
    std::set<std::int32_t> best;
    for (const DetectionCandidate& c : candidates) {
        if (c.dConfidence == candidates.front().dConfidence) {
            best.insert(c.nCodePage);
        }
    }
    return best;
}

TEST(EncodingDetector, SamplesDetectAsTheirEncodingAboveTheThreshold) {
    const struct {
        const char* file;
        std::int32_t codePage;
    } cases[] = {
        {"fr_cafe_menu_1252.html", 1252},     {"glossary_utf16le.txt", 1200},
        {"ja_notice_shift_jis.txt", 932},     {"ru_library_report_1251.txt", 1251},
        {"zh_tw_night_market_big5.txt", 950},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const FileDetection d =
            DetectFileEncoding(std::string(VARNOLT_SOURCE_DIR) + "/samples/" + c.file);
        ASSERT_FALSE(d.error) << *d.error;
        ASSERT_FALSE(d.candidates.empty());
        EXPECT_EQ(d.candidates.front().nCodePage, c.codePage);
        EXPECT_GE(d.candidates.front().dConfidence, kAutoDetectThreshold);
        for (std::size_t i = 1; i < d.candidates.size(); ++i) {
            EXPECT_LE(d.candidates[i].dConfidence, d.candidates[i - 1].dConfidence);
            EXPECT_GE(d.candidates[i].dConfidence, 0.0);
        }
    }
}

TEST(EncodingDetector, PureAsciiProposesEveryAsciiPageWithOneConfidence) {
    const std::string text = "Plain text, 42 lines of it.\r\nNothing above 0x7F here.\n";
    const auto candidates = DetectEncoding(Bytes(text));
    std::set<std::int32_t> expected;
    for (int i = 0; i < EncodingCatalogue::Count(); ++i) {
        const std::int32_t cp = EncodingCatalogue::Entry(i).nCodePage;
        if (cp != 1200 && cp != 1201) {
            expected.insert(cp);
        }
    }
    EXPECT_EQ(BestPages(candidates), expected);
    EXPECT_EQ(candidates.size(), expected.size()) << "no UTF-16 reading of ASCII text";
    EXPECT_DOUBLE_EQ(candidates.front().dConfidence, 1.0);
    EXPECT_EQ(candidates.front().nCodePage, EncodingCatalogue::Entry(0).nCodePage)
        << "ties keep the catalogue's order";
}

TEST(EncodingDetector, NothingToGoByGivesNoCandidate) {
    EXPECT_TRUE(DetectEncoding({}).empty());
    TempDir dir;
    WriteFile(dir / "empty.txt", "");
    const FileDetection d = DetectFileEncoding(dir / "empty.txt");
    EXPECT_FALSE(d.error);
    EXPECT_TRUE(d.candidates.empty());
}

// Pages that read a text identically are one answer and share a confidence.
TEST(EncodingDetector, PagesThatReadTheTextAlikeShareTheirConfidence) {
    // "Grüße aus Köln" in windows-1252: ISO 8859-1 reads it the same.
    const std::string text = "Gr\xFC\xDF"
                             "e aus K\xF6ln, sch\xF6ne Gr\xFC\xDF"
                             "e an \xC4rzte und M\xFC"
                             "ller.\n";
    const auto candidates = DetectEncoding(Bytes(text));
    ASSERT_FALSE(candidates.empty());
    const auto best = BestPages(candidates);
    EXPECT_TRUE(best.count(1252) && best.count(28591)) << candidates.front().nCodePage;
}

// Pages the statistical detector never names are found by the decoders and
// the plausibility of their text alone.
TEST(EncodingDetector, PagesTheDetectorNeverNamesAreFoundByDecoding) {
    const struct {
        const char* what;
        std::string bytes;
        std::int32_t codePage;
    } cases[] = {
        {"Chinese in HZ", "~{=qLlLlFx:\\:C#,NRCGH%9+T0I\"2=0I!#9+T0@oSP:\\6`HK#,4s<R6<:\\?*PD!#~}",
         52936},
        {"Korean in Johab",
         "\xB5\xA1\x93i\xB7"
         "e \x90i\xB3\xA1\x88"
         "a \xB9\xBD\xB4"
         "a\xAC\xE1 \xB6\x81\x9F\xA1\x93"
         "e \x89\xB7\xB6\xA5\xB5"
         "A \xAC"
         "e\xC0\x82\xB7i \x88v\xAFs\x93\xA1\x94"
         "a. \x89\xB7\xB6\xA5\xB5"
         "A\x93"
         "e \xAC"
         "a\x9Cq\x97i\xB7\xA1 \xA0g\xB4v\x89\xA1 \xA1\xA1\x96\x81 \xBBi\x88\xE1\xB6\xA1 "
         "\xA5\xA1\xB5v\xAFs\x93\xA1\x94"
         "a.",
         1361},
        {"Russian in DOS Cyrillic",
         "\xE4\xA8\xAC\xD6\xA6\xD4\xDE \xB5\xD6\xE1\xD6\xF5\xA0\xDE \xD8\xD6\xAC\xD6\xA6\xA0, \xB7 "
         "\xD2\xF1 \xD8\xD6\xF5\xD0\xB7 \xAC\xE7\xD0\xDE\xE5\xED \xEB \xD8\xA0\xE1\xC6. \xEC "
         "\xD8\xA0\xE1\xC6\xA8 \xA2\xF1\xD0\xD6 \xD2\xD4\xD6\xAC\xD6 \xD0\x9C\xA6\xA8\xBD.",
         855},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto candidates = DetectEncoding(Bytes(c.bytes));
        ASSERT_FALSE(candidates.empty());
        EXPECT_EQ(candidates.front().nCodePage, c.codePage);
        EXPECT_GE(candidates.front().dConfidence, kAutoDetectThreshold);
    }
}

// A head cut from a longer file may end inside a character; that must not
// disqualify the page, while the same bytes as a whole file do.
TEST(EncodingDetector, CutCharacterAtTheEndOfAHead) {
    std::string text;
    for (int i = 0; i < 20; ++i) {
        text += "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 "; // "Привет " in UTF-8
    }
    const std::string cut = text + "\xD0";
    const auto asHead = DetectEncoding(Bytes(cut), true);
    ASSERT_FALSE(asHead.empty());
    EXPECT_EQ(asHead.front().nCodePage, 65001);
    const auto asFile = DetectEncoding(Bytes(cut), false);
    EXPECT_TRUE(std::none_of(asFile.begin(), asFile.end(),
                             [](const DetectionCandidate& c) { return c.nCodePage == 65001; }));

    // The same through a file longer than the head, cut inside a character.
    TempDir dir;
    WriteFile(dir / "long.txt",
              std::string(kDetectionHeadBytes - text.size() - 1, ' ') + text + "\xD0\x9F and more");
    const FileDetection d = DetectFileEncoding(dir / "long.txt");
    ASSERT_FALSE(d.candidates.empty());
    EXPECT_EQ(d.candidates.front().nCodePage, 65001);
}

TEST(EncodingDetector, Utf16ByteOrderMarksDecide) {
    const std::string le("\xFF\xFEH\0i\0!\0\n\0", 10);
    const std::string be("\xFE\xFF\0H\0i\0!\0\n", 10);
    const auto fromLe = DetectEncoding(Bytes(le));
    const auto fromBe = DetectEncoding(Bytes(be));
    ASSERT_FALSE(fromLe.empty());
    ASSERT_FALSE(fromBe.empty());
    EXPECT_EQ(fromLe.front().nCodePage, 1200);
    EXPECT_EQ(fromBe.front().nCodePage, 1201);
}

// Only regular files are read: a FIFO without a writer or a folder would
// block or mislead.
TEST(EncodingDetector, FilesThatCannotBeReadSayWhy) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    for (const std::string& path : {dir / "fifo", dir.Path(), dir / "missing.txt"}) {
        SCOPED_TRACE(path);
        const FileDetection d = DetectFileEncoding(path);
        ASSERT_TRUE(d.error);
        EXPECT_FALSE(d.error->empty());
        EXPECT_TRUE(d.candidates.empty());
    }
}

} // namespace
} // namespace varnolt
