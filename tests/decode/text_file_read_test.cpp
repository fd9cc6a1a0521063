// The text file reader: marks, characters and line ends, each also with a
// block boundary at every position of the interesting bytes; files that
// cannot be read.
#include "decode/text_file_read.hpp"
#include "platform/file_exception.hpp"
#include "platform/file_io.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>
#include <span>
#include <sys/stat.h>

using namespace std::string_literals;

namespace varnolt {
namespace {

constexpr std::u16string_view kSep = u"<EOL>";
const std::string kUtf8Mark = "\xEF\xBB\xBF";
const std::string kLeMark = "\xFF\xFE";
const std::string kBeMark = "\xFE\xFF";

struct ReadCase {
    const char* name;
    std::string mark; // written first, never split from the file's start
    std::string body;
    std::u16string expected;
    CTextFileBase::TextEncoding encoding;
};

const ReadCase kCases[] = {
    {"Utf8MarkCrLf", kUtf8Mark, "A\r\nB", u"A<EOL>B", CTextFileBase::kUtf8},
    {"FinalLineEndGivesEmptyLastLine", "", "A\nB\n", u"A<EOL>B<EOL>", CTextFileBase::kAnsi},
    {"NoFinalLineEnd", "", "A\nB", u"A<EOL>B", CTextFileBase::kAnsi},
    {"LoneCrSplitsLikeCrLf", "", "A\rB\r\nC\nD", u"A<EOL>B<EOL>C<EOL>D", CTextFileBase::kAnsi},
    {"EmptyLinesBetweenEnds", "", "A\r\r\n\n\rB", u"A<EOL><EOL><EOL><EOL>B", CTextFileBase::kAnsi},
    {"LfCrIsTwoLineEnds", "", "A\n\rB", u"A<EOL><EOL>B", CTextFileBase::kAnsi},
    {"AnsiIsUtf8", "", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", u"caf\u00E9 \u20AC \U0001F600",
     CTextFileBase::kAnsi},
    {"AnsiNotUtf8BecomesReplacement", "", "a\xE9z\n\xC3", u"a\uFFFDz<EOL>\uFFFD",
     CTextFileBase::kAnsi},
    {"AnsiNulEndsLineText", "", "AB\0CD\r\nE"s, u"AB<EOL>E", CTextFileBase::kAnsi},
    {"Utf8TwoAndThreeBytes", kUtf8Mark, "\xC3\xA9\xE2\x82\xAC\xD0\x96", u"\u00E9\u20AC\u0416",
     CTextFileBase::kUtf8},
    {"Utf8FourByteSequenceIsFourReplacements", kUtf8Mark, "a\xF0\x9F\x98\x80z",
     u"a\uFFFD\uFFFD\uFFFD\uFFFDz", CTextFileBase::kUtf8},
    {"Utf8StrayContinuation", kUtf8Mark,
     "\x80\xBF"
     "a",
     u"\uFFFD\uFFFDa", CTextFileBase::kUtf8},
    {"Utf8CutSequenceKeepsTheLineEnd", kUtf8Mark, "\xC3\n\xE2\x82\r\nx\xE2",
     u"\uFFFD<EOL>\uFFFD\uFFFD<EOL>x\uFFFD", CTextFileBase::kUtf8},
    {"Utf8NulEndsLineText", kUtf8Mark, "A\0\xC3\xA9\nB"s, u"A<EOL>B", CTextFileBase::kUtf8},
    {"Utf16LittleEndian", kLeMark, test::Utf16Le(u"A\r\n\u20AC\U0001F600\rB\n"),
     u"A<EOL>\u20AC\U0001F600<EOL>B<EOL>", CTextFileBase::kUtf16LE},
    {"Utf16BigEndian", kBeMark, test::Utf16Be(u"A\r\n\u20AC\U0001F600\rB\n"),
     u"A<EOL>\u20AC\U0001F600<EOL>B<EOL>", CTextFileBase::kUtf16BE},
    // U+0D0A and U+0A0D hold line-end bytes but are letters, not line ends.
    {"Utf16UnitsWithLineEndBytes", kLeMark, test::Utf16Le(u"\u0D0A\u0A0D"), u"\u0D0A\u0A0D",
     CTextFileBase::kUtf16LE},
    {"Utf16NulEndsLineText", kBeMark, test::Utf16Be(u"AB\0CD\nE"s), u"AB<EOL>E",
     CTextFileBase::kUtf16BE},
    {"Utf16OddFinalByte", kLeMark, test::Utf16Le(u"AB") + "C", u"AB\uFFFD",
     CTextFileBase::kUtf16LE},
};

// Mark detection itself: only whole files, since the mark is at the start.
const ReadCase kMarkCases[] = {
    {"EmptyFile", "", "", u"", CTextFileBase::kAnsi},
    {"Utf8MarkOnly", "", kUtf8Mark, u"", CTextFileBase::kUtf8},
    {"Utf16MarkOnly", "", kLeMark, u"", CTextFileBase::kUtf16LE},
    {"HalfUtf8MarkIsAnsiFromTheFirstByte", "",
     "\xEF\xBB"
     "A",
     u"\uFFFD\uFFFDA", CTextFileBase::kAnsi},
    {"ShortFileHalfMark", "", "\xEF\xBB", u"\uFFFD\uFFFD", CTextFileBase::kAnsi},
    {"SecondMarkIsText", "", kLeMark + test::Utf16Le(u"\uFEFFA"), u"\uFEFFA",
     CTextFileBase::kUtf16LE},
};

std::u16string ReadWhole(const std::string& path, CTextFileBase::TextEncoding* encoding) {
    CTextFileRead reader(path);
    std::u16string text;
    EXPECT_TRUE(reader.ReadAll(text, kSep));
    if (encoding) {
        *encoding = reader.GetEncoding();
    }
    return text;
}

TEST(TextFileReadTest, MarksCharactersAndLineEnds) {
    test::TempDir dir;
    const std::string path = dir / "case.txt";
    for (const std::span<const ReadCase> table :
         {std::span<const ReadCase>(kCases), std::span<const ReadCase>(kMarkCases)}) {
        for (const ReadCase& c : table) {
            SCOPED_TRACE(c.name);
            test::WriteFile(path, c.mark + c.body);
            CTextFileBase::TextEncoding encoding{};
            EXPECT_EQ(ReadWhole(path, &encoding), c.expected);
            EXPECT_EQ(encoding, c.encoding);
        }
    }
}

// Filler before the case moves a block boundary (the first and the second)
// over every position of its bytes, so every character and line end is also
// read cut across two blocks. The filler is one long line of 'x'.
TEST(TextFileReadTest, EveryCaseCutAtEveryBlockBoundary) {
    test::TempDir dir;
    const std::string path = dir / "split.txt";
    for (const ReadCase& c : kCases) {
        const bool wide =
            c.encoding == CTextFileBase::kUtf16LE || c.encoding == CTextFileBase::kUtf16BE;
        const std::size_t unit = wide ? 2 : 1;
        for (const std::size_t boundary : {std::size_t{4096}, std::size_t{8192}}) {
            for (std::size_t cut = 0; cut <= c.body.size(); cut += unit) {
                SCOPED_TRACE(std::string(c.name) + " cut at body byte " + std::to_string(cut) +
                             " of block boundary " + std::to_string(boundary));
                const std::size_t fillerBytes = boundary - c.mark.size() - cut;
                const std::size_t fillerChars = fillerBytes / unit;
                const std::u16string filler(fillerChars, u'x');
                const std::string fillerBytesText =
                    c.encoding == CTextFileBase::kUtf16LE   ? test::Utf16Le(filler)
                    : c.encoding == CTextFileBase::kUtf16BE ? test::Utf16Be(filler)
                                                            : std::string(fillerChars, 'x');
                test::WriteFile(path, c.mark + fillerBytesText + c.body);
                ASSERT_EQ(ReadWhole(path, nullptr), filler + c.expected);
            }
        }
    }
}

TEST(TextFileReadTest, AppendsToTheCallersTextWithItsSeparator) {
    test::TempDir dir;
    const std::string path = dir / "lines.txt";
    test::WriteFile(path, "one\r\ntwo");
    CTextFileRead reader(path);
    std::u16string text = u"kept:";
    ASSERT_TRUE(reader.ReadAll(text, u"\r\n"));
    EXPECT_EQ(text, u"kept:one\r\ntwo");
    // The file is read once; a second call adds nothing.
    ASSERT_TRUE(reader.ReadAll(text, u"\r\n"));
    EXPECT_EQ(text, u"kept:one\r\ntwo");
}

TEST(TextFileReadTest, WhatCannotBeOpenedGivesFalseAndLeavesTheText) {
    test::TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    ASSERT_EQ(::mkdir((dir / "folder").c_str(), 0755), 0);
    // A FIFO without a writer must not block the reader.
    for (const char* name : {"missing.txt", "fifo", "folder"}) {
        SCOPED_TRACE(name);
        CTextFileRead reader(dir / name);
        EXPECT_FALSE(reader.IsOpen());
        std::u16string text = u"unchanged";
        EXPECT_FALSE(reader.ReadAll(text, kSep));
        EXPECT_EQ(text, u"unchanged");
    }
}

TEST(TextFileReadTest, ReadErrorRaisesFileException) {
    test::TempDir dir;
    const std::string path = dir / "unreadable.txt";
    test::WriteFile(path, std::string(10000, 'a'));
    platform::InjectFault(platform::FaultOp::kSourceRead, 1, EIO);
    std::u16string text;
    EXPECT_THROW(
        {
            CTextFileRead reader(path);
            reader.ReadAll(text, kSep);
        },
        CFileException);
    platform::ClearFaults();
}

} // namespace
} // namespace varnolt
