// A file that fails to decode names the first invalid sequence: its bytes and
// its offset in the file, wherever the reader's blocks and chunks cut it and
// whatever NUL bytes the reader dropped before it.
#include "decode/pipeline_fixture.hpp"
#include "decode/source_file_reader.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>
#include <string>

namespace varnolt::test {
namespace {

using test::Utf16Le;

using namespace std::string_literals;

constexpr std::size_t kBlock = 256 * 1024; // the reader's read size

std::string Repeat(const std::string& piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

TEST(FailureDetail, FirstInvalidSequenceIsNamedWithItsFileOffset) {
    struct Case {
        const char* what;
        std::int32_t codePage;
        std::string bytes;
        std::string detail;
    };
    const std::string nuls = "ab\0cd\0\0"s; // dropped by the reader, still counted
    const Case cases[] = {
        // Single byte: an undefined byte far past the first block and chunks.
        {"1253 undefined byte", 1253, nuls + std::string(600000, 'a') + "\xAA" + "b",
         "invalid byte sequence AA at offset 600,007"},
        {"1253 after NULs in its own chunk", 1253, std::string(9000, 'a') + nuls + "\xAA",
         "invalid byte sequence AA at offset 9,007"},
        // Double byte: a lead byte whose trail is no trail; one whose pair
        // crosses two blocks; one followed by NUL.
        {"932 bad trail", 932, nuls + Repeat("\x93\xFA", 150000) + "x\x81\x20yz",
         "invalid byte sequence 81 20 at offset 300,008"},
        {"932 after NULs in its own chunk", 932, "\x93\xFA\0\0\x81\x20"s,
         "invalid byte sequence 81 20 at offset 4"},
        {"932 pair across blocks", 932, std::string(kBlock - 1, 'a') + "\x81\x20",
         "invalid byte sequence 81 20 at offset 262,143"},
        {"936 lead then NUL", 936, nuls + Repeat("\xB0\xA1", 5000) + "\xB0\0"s,
         "invalid byte sequence B0 00 at offset 10,007"},
        {"932 file ends after a lead", 932, std::string(20000, 'a') + "\x81",
         "invalid byte sequence 81 at offset 20,000, cut off by the end of the file"},
        // UTF-8: a broken sequence, a lone continuation, an overlong form, a
        // sequence across two blocks, one cut off by the end of the file, and
        // one that only the decoder refuses (above U+10FFFF).
        {"UTF-8 broken sequence", 65001, nuls + Repeat("\xC3\xA9", 300000) + "\xE3\x81\x20",
         "invalid byte sequence E3 81 20 at offset 600,007"},
        {"UTF-8 lone continuation", 65001, std::string(70000, 'a') + "\x80",
         "invalid byte sequence 80 at offset 70,000"},
        {"UTF-8 overlong", 65001, "ab\xC0\xAF", "invalid byte sequence C0 AF at offset 2"},
        {"UTF-8 across blocks", 65001, std::string(kBlock - 2, 'a') + "\xE6\x97" + "A",
         "invalid byte sequence E6 97 41 at offset 262,142"},
        {"UTF-8 cut off", 65001, "abc\xE6\x97",
         "invalid byte sequence E6 97 at offset 3, cut off by the end of the file"},
        {"UTF-8 above U+10FFFF", 65001, std::string(9000, 'a') + "\xF5\x80\x80\x80",
         "invalid byte sequence F5 80 80 80 at offset 9,000"},
        {"GB18030 four-byte form broken", 54936, std::string(10, 'a') + "\x81\x30\x81\x20",
         "invalid byte sequence 81 30 81 20 at offset 10"},
        // UTF-16: an unpaired low surrogate past several 16 KiB blocks, after
        // NUL units that the reader drops.
        {"UTF-16LE lone surrogate", 1200,
         Utf16Le(u"ab") + "\0\0"s + Utf16Le(std::u16string(100000, u'x')) + Utf16Le(u"\xDC00"),
         "invalid byte sequence 00 DC at offset 200,006"},
        {"UTF-16LE odd length", 1200, "a\0b"s, "the file has an odd number of bytes (3)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CPipeline pipeline(c.codePage);
        const auto result = pipeline.Convert(c.bytes);
        EXPECT_EQ(FailureMessage(result), kMsgInvalidCharacter);
        EXPECT_EQ(result.detail, c.detail);
    }
}

TEST(FailureDetail, AFileThatConvertsHasNone) {
    CPipeline pipeline(932);
    const auto first = pipeline.Convert("ab\x81\x20");
    ASSERT_FALSE(first.bOk);
    // The reader is reused for the next file: nothing of the last failure stays.
    const auto next = pipeline.Convert("\x93\xFA\x96\x7B");
    EXPECT_TRUE(next.bOk);
    EXPECT_EQ(next.detail, "");
}

TEST(FailureDetail, GuardsRefuseBeforeAnythingIsPassedOn) {
    CPipeline pipeline(1252);
    pipeline.m_reader.SetGuards(true);
    const auto refused = pipeline.Convert("caf\xC3\xA9\n" + std::string(100000, 'a'));
    EXPECT_FALSE(refused.bOk);
    ASSERT_EQ(refused.status.size(), 1u);
    EXPECT_EQ(refused.status[0].nLevel, kLevelWarning);
    EXPECT_EQ(refused.status[0].nMessage, kMsgNotSourceEncoding);
    EXPECT_NE(refused.detail.find("UTF-8"), std::string::npos) << refused.detail;
    EXPECT_EQ(refused.text, u"");
    // Without the guards the same bytes convert, double-encoded as asked.
    pipeline.m_reader.SetGuards(false);
    const auto forced = pipeline.Convert("caf\xC3\xA9\n");
    EXPECT_TRUE(forced.bOk);
    EXPECT_EQ(forced.text, u"caf\u00C3\u00A9\n");
}

} // namespace
} // namespace varnolt::test
