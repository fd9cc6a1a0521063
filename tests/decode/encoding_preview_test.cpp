// The preview's decoding: invalid sequences marked where they are, a head
// cut inside a character, byte-order marks, the display form, the file read
// and the ranking over several files.
#include "decode/encoding_preview.hpp"
#include "platform/file_io.hpp"
#include "support/test_support.hpp"

#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace varnolt {
namespace {

PreviewText Decode(std::int32_t codePage, const std::string& bytes, bool bFinal = true) {
    return DecodePreview(codePage, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                         bytes.size(), bFinal);
}

struct DecodeCase {
    const char* name;
    std::int32_t codePage;
    std::string bytes;
    bool bFinal;
    std::u16string text;
    std::vector<PreviewMark> marks;
};

TEST(EncodingPreviewTest, MarksEachInvalidSequenceAtItsOffset) {
    const DecodeCase cases[] = {
        {"clean single-byte", 1252, "caf\xE9", true, u"caf\u00E9", {}},
        {"utf-8 bad continuation", 65001, "a\xC3(b", true, u"a\uFFFD(b", {{1, 1}}},
        {"utf-8 two faults",
         65001,
         "\xFFx\xC0\xAF",
         true,
         u"\uFFFDx\uFFFD\uFFFD",
         {{0, 0}, {2, 2}, {3, 3}}},
        {"utf-8 cut at the end of the file",
         65001,
         "ab\xE3\x81",
         true,
         u"ab\uFFFD\uFFFD",
         {{2, 2}, {3, 3}}},
        {"utf-8 cut at the end of the head", 65001, "ab\xE3\x81", false, u"ab", {}},
        {"utf-8 invalid before the cut still marked",
         65001,
         "\x80"
         "ab\xE3",
         false,
         u"\uFFFDab",
         {{0, 0}}},
        {"shift-jis", 932, "\x82\xA0\x82\n!", true, u"\u3042\uFFFD\n!", {{1, 2}}},
        {"shift-jis lead cut by the head", 932, "a\x82", false, u"a", {}},
        {"gb18030 four bytes", 54936, "\x81\x30\x81\x30\x81", true, u"\u0080\uFFFD", {{1, 4}}},
        {"utf-16le unpaired low surrogate",
         1200,
         std::string("a\0\0\xDC"
                     "b\0",
                     6),
         true,
         u"a\uFFFDb",
         {{1, 2}}},
        {"utf-16be high surrogate cut by the head",
         1201,
         std::string("\0a\xD8\x3D", 4),
         false,
         u"a",
         {}},
        {"utf-16be high surrogate at the end of the file",
         1201,
         std::string("\0a\xD8\x3D", 4),
         true,
         u"a\uFFFD",
         {{1, 2}}},
        {"utf-16le odd last byte", 1200, std::string("a\0b", 3), true, u"a\uFFFD", {{1, 2}}},
        {"utf-16le byte-order mark dropped",
         1200,
         std::string("\xFF\xFE"
                     "a\0",
                     4),
         true,
         u"a",
         {}},
        {"utf-8 byte-order mark dropped, marks moved",
         65001,
         "\xEF\xBB\xBF\xFF"
         "a",
         true,
         u"\uFFFDa",
         {{0, 3}}},
        {"no decoder for the code page", 12345, "abc", true, u"\uFFFD", {{0, 0}}},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const PreviewText got = Decode(c.codePage, c.bytes, c.bFinal);
        EXPECT_EQ(got.text, c.text);
        EXPECT_EQ(got.marks, c.marks);
    }
}

TEST(EncodingPreviewTest, StatefulDecodersKeepTheirStateAcrossTheWalk) {
    // HZ: "~{" switches to GB2312 pairs; the bad escape "~x" after the
    // switch back is marked once, and HZ's own recovery decodes the "x".
    const PreviewText hz = Decode(52936, "~{Dc~}~xA");
    EXPECT_EQ(hz.text, u"\u4F60\uFFFDxA");
    EXPECT_EQ(hz.marks, (std::vector<PreviewMark>{{1, 7}}));
}

TEST(EncodingPreviewTest, DisplayFormFoldsLineEndsAndShowsControls) {
    PreviewText raw;
    raw.text = u"a\r\nb\rc\x01\t\x7F\uFFFDd";
    raw.marks = {{9, 40}};
    const PreviewText shown = ForDisplay(raw);
    EXPECT_EQ(shown.text, u"a\nb\nc\u2401\t\u2421\uFFFDd");
    ASSERT_EQ(shown.marks.size(), 1u);
    EXPECT_EQ(shown.marks[0].nTextPos, 8u);
    EXPECT_EQ(shown.marks[0].nByteOffset, 40u);
}

TEST(EncodingPreviewTest, ReadsAtMostTheLimitOfALongFile) {
    test::TempDir dir;
    // A two-byte character straddles the limit: the head ends before it,
    // unmarked, and the file counts as longer.
    const std::string path = dir / "long.txt";
    test::WriteFile(path,
                    std::string(kPreviewBytes - 1, 'a') + "\x82\xA0" + std::string(100000, 'b'));
    const FilePreview longFile = ReadFilePreview(path, 932);
    EXPECT_EQ(longFile.nError, 0);
    EXPECT_EQ(longFile.nBytes, kPreviewBytes);
    EXPECT_TRUE(longFile.bTruncated);
    EXPECT_EQ(longFile.preview.text, std::u16string(kPreviewBytes - 1, u'a'));
    EXPECT_TRUE(longFile.preview.marks.empty());

    // Exactly the limit: the whole file, and its end is an end.
    test::WriteFile(path, std::string(kPreviewBytes - 1, 'a') + "\x82");
    const FilePreview exact = ReadFilePreview(path, 932);
    EXPECT_FALSE(exact.bTruncated);
    ASSERT_EQ(exact.preview.marks.size(), 1u);
    EXPECT_EQ(exact.preview.marks[0].nByteOffset, kPreviewBytes - 1);
}

TEST(EncodingPreviewTest, RefusesWhatIsNotARegularFile) {
    test::TempDir dir;
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ReadFilePreview(fifo, 1252).nError, platform::kErrNotRegularFile);
    EXPECT_EQ(ReadFilePreview(dir.Path(), 1252).nError, platform::kErrNotRegularFile);
    EXPECT_EQ(ReadFilePreview(dir / "missing", 1252).nError, ENOENT);
}

TEST(EncodingPreviewTest, CombinesRankingsOverFiles) {
    const FileDetection first{{{932, 0.9}, {20932, 0.4}, {1252, 0.2}}, std::nullopt};
    const FileDetection second{{{1252, 0.8}, {932, 0.5}}, std::nullopt};
    const FileDetection unreadable{{}, std::string("cannot read")};
    const FileDetection empty{};
    const auto ranking = CombineDetections({first, unreadable, second, empty});
    ASSERT_EQ(ranking.size(), 2u); // 20932 does not decode the second file
    EXPECT_EQ(ranking[0].nCodePage, 932);
    EXPECT_DOUBLE_EQ(ranking[0].dConfidence, 0.7);
    EXPECT_EQ(ranking[1].nCodePage, 1252);
    EXPECT_DOUBLE_EQ(ranking[1].dConfidence, 0.5);
    EXPECT_TRUE(CombineDetections({unreadable, empty}).empty());
}

} // namespace
} // namespace varnolt
