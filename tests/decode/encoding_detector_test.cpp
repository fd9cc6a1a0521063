// Encoding detection: known files, ASCII, empty input, cut heads and files
// that are not regular.
#include "decode/code_page_decoder.hpp"
#include "decode/encoding_detector.hpp"
#include "platform/source_file.hpp"
#include "platform/source_probe.hpp"
#include "platform/text_utf.hpp"
#include "settings/encoding_catalogue.hpp"
#include "support/test_support.hpp"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <optional>
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

// Under --from auto the job detects the file it holds open: a file saved
// over the path between the probe and the detection is neither detected nor
// converted, and the reading that follows still starts at the first byte.
TEST(EncodingDetector, AnOpenSourceIsDetectedThroughItsOwnDescriptor) {
    TempDir dir;
    const std::string path = dir / "notice.txt";
    const std::string original =
        test::ReadFile(std::string(VARNOLT_SOURCE_DIR) + "/samples/ja_notice_shift_jis.txt");
    WriteFile(path, original);
    platform::CSourceFile file;
    int error = 0;
    ASSERT_EQ(platform::ProbeSource(path, &error, &file), platform::SourceProbe::Readable);
    WriteFile(dir / "saved.txt", "Plain ASCII now.\n");
    ASSERT_EQ(std::rename((dir / "saved.txt").c_str(), path.c_str()), 0);

    const FileDetection detection = DetectOpenFileEncoding(file);
    ASSERT_FALSE(detection.error);
    ASSERT_FALSE(detection.candidates.empty());
    EXPECT_EQ(detection.candidates.front().nCodePage, 932);

    file.Open(path);
    std::string read(original.size() + 1, '\0');
    read.resize(file.Read(read.data(), read.size()));
    EXPECT_EQ(read, original);
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

// The text of `bytes` in a single-byte or multi-byte code page, or nothing
// when it does not decode.
std::optional<std::u16string> Read(std::int32_t codePage, const std::string& bytes) {
    if (FindDecoder(codePage) == nullptr) {
        return std::nullopt;
    }
    std::u16string text(bytes.size() * 2 + 4, u'\0');
    CDecoderState state;
    DecodeError error = DecodeError::kNone;
    const std::size_t n =
        MultiByteToWideChar(codePage, true, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                            bytes.size(), true, state, text.data(), text.size(), error);
    if (error != DecodeError::kNone) {
        return std::nullopt;
    }
    text.resize(n);
    return text;
}

// `text` in a single-byte code page, each character through the byte the
// page reads as it.
std::string EncodeSingleByte(std::int32_t codePage, std::u16string_view text) {
    std::string bytes;
    for (const char16_t c : text) {
        int found = c < 0x80 ? static_cast<int>(c) : -1;
        for (int b = 0x80; b < 0x100 && found < 0; ++b) {
            if (Read(codePage, std::string(1, static_cast<char>(b))) == std::u16string(1, c)) {
                found = b;
            }
        }
        EXPECT_GE(found, 0) << "code page " << codePage << " has no U+" << std::hex
                            << static_cast<unsigned>(c);
        bytes.push_back(static_cast<char>(found));
    }
    return bytes;
}

// Latin texts whose pages differ only in a few letters, such as the foreign
// names inside a Hungarian text: the page that gives the written text (or
// one reading the bytes the same) ranks among the first three, and first
// where the other readings are garbled.
TEST(EncodingDetector, LatinTextsWithForeignNamesRankTheirPage) {
    const struct {
        const char* what;
        std::int32_t codePage;
        std::u16string text;
        std::size_t nRank; // the true reading is among the first nRank
    } cases[] = {
        {"Hungarian with Turkish names in windows-1254", 1254,
         u"A nyári körút Isztambulból indul, majd Eskişehir, Ağrı és Diyarbakır érintésével "
         u"ér véget, Aydın és Gümüşhane után.\n",
         3},
        {"Hungarian with Portuguese names in windows-1254", 1254,
         u"A kiállítás São Paulo és Curaçao alkotóinak munkáit mutatja be. A megnyitó után a "
         u"múzeum kávézójában fogadást tartunk.\n",
         3},
        {"Hungarian with Slovak and Polish names in ISO 8859-2", 28592,
         u"A csapat szombaton Kassán (Košice) játszik, vasárnap pedig Zsolnán (Žilina) lép "
         u"pályára. A következő héten Łódź és Kraków csapatai érkeznek hozzánk.\n",
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string bytes = EncodeSingleByte(c.codePage, c.text);
        ASSERT_EQ(Read(c.codePage, bytes), c.text);
        const auto candidates = DetectEncoding(Bytes(bytes));
        const std::size_t nFirst = std::min(c.nRank, candidates.size());
        EXPECT_TRUE(std::any_of(
            candidates.begin(), candidates.begin() + nFirst,
            [&](const DetectionCandidate& d) { return Read(d.nCodePage, bytes) == c.text; }))
            << "first: " << (candidates.empty() ? 0 : candidates.front().nCodePage);
    }
}

// UTF-16 text of transliterated names (letters with macrons and dots below)
// stays UTF-16: its single-byte readings, NULs and all, must not win because
// they have fewer letters beyond ASCII to explain.
// Read in the other byte order, Latin text becomes ideographs; letters
// outside the common blocks (modifier letters such as the ʾ and ʿ of
// transliterations) must not make that reading win.
TEST(EncodingDetector, Utf16TextOfRareLatinLettersStaysUtf16) {
    const std::u16string texts[] = {
        u"Al Qāhirah, Dimashq, Ḥalab, Bayrūt, Al Jazāʾir, Ṭarābulus, "
        u"Ghazzah, Nābulus, Al Ḥudaydah, Dimyāṭ, Aswān, Al Uqṣur\n",
        u"Transliteration: ʾalif and ʿayn, Qurʾān, ʿArabiyya. ",
        u"Plain English in UTF-16 without a mark.",
    };
    for (const std::u16string& text : texts) {
        for (const auto& [codePage, bytes] :
             {std::pair{1200, test::Utf16Le(text)}, std::pair{1201, test::Utf16Be(text)}}) {
            SCOPED_TRACE(codePage);
            const auto candidates = DetectEncoding(Bytes(bytes));
            ASSERT_FALSE(candidates.empty());
            EXPECT_EQ(candidates.front().nCodePage, codePage) << Utf16ToUtf8(text);
        }
    }
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
