// One-piece and chunked decoding agree for every decoder family, on files that
// span several chunks, valid and damaged; and the ASCII fast paths agree with
// their plain loops.
#include "decode/ascii.hpp"
#include "decode/chunking_check.hpp"
#include "decode/codepage_data.hpp"
#include "decode/decode_test_util.hpp"
#include "decode/pipeline_fixture.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>
#include <random>

using namespace std::string_literals;

namespace varnolt {
namespace {

// Text made of the code page's own sequences (from its reference file when it
// has one), ASCII runs, line ends, and now and then a random byte.
std::string RandomText(std::mt19937& rng, std::int32_t codePage, std::size_t size, bool bDamaged) {
    std::vector<std::string> pieces;
    if (codePage != 65001 && codePage != 1200 && codePage != 1201 && codePage != 59999 &&
        codePage != 52936) {
        for (const auto& line : test::LoadCodePage(codePage).lines) {
            if (line.bytes[0] != '\0') {
                pieces.push_back(line.bytes);
            }
        }
    }
    if (codePage == 65001) {
        pieces = {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xD0\x96", "\xE3\x81\x82"};
    } else if (codePage == 52936) {
        pieces = {"~{<V0!~}", "~~", "~\n", "~{*!~}", "~{", "~}", "<V"};
    } else if (codePage == 1200 || codePage == 1201) {
        for (std::u16string_view piece : {u"a", u"\u00E9", u"\u20AC", u"\U0001F600", u"\u0D0A"}) {
            std::string bytes;
            for (char16_t u : piece) {
                bytes += codePage == 1200 ? std::string{char(u & 0xFF), char(u >> 8)}
                                          : std::string{char(u >> 8), char(u & 0xFF)};
            }
            pieces.push_back(bytes);
        }
    } else if (codePage == 59999) {
        pieces = {"\xA8", "\xB2\xB3", "\xFE"};
    }
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<int> kind(0, 99);
    std::uniform_int_distribution<int> byte(1, 255);
    std::string text;
    while (text.size() < size) {
        const int k = kind(rng);
        if (k < 70) {
            text += pieces[pick(rng)];
        } else if (k < 95) {
            text += codePage == 1200   ? std::string("a\0 \0"s)
                    : codePage == 1201 ? "\0a\0 "s
                                       : "ab ";
        } else if (k < 99) {
            text += codePage == 1200 ? "\r\0\n\0"s : codePage == 1201 ? "\0\r\0\n"s : "\r\n";
        } else if (bDamaged) {
            text += static_cast<char>(byte(rng));
        }
    }
    return text;
}

class ChunkingTest : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(ChunkingTest, ChunkedAndOnePieceDecodingAgree) {
    test::TempDir dir;
    std::mt19937 rng(static_cast<unsigned>(GetParam()));
    int converted = 0;
    for (int round = 0; round < 16; ++round) {
        const std::string text = RandomText(rng, GetParam(), 20000 + round * 1111, round % 2 == 1);
        const auto outcome = check::CheckChunking(GetParam(), text, dir / "file");
        ASSERT_TRUE(outcome.Agrees()) << "round " << round << ": reader " << outcome.bReaderOk
                                      << ", whole " << outcome.bWholeOk;
        converted += outcome.bReaderOk ? 1 : 0;
    }
    EXPECT_GE(converted, 8) << "undamaged texts convert";
}

INSTANTIATE_TEST_SUITE_P(Families, ChunkingTest,
                         ::testing::Values(1252, 1251, 874, 932, 936, 949, 950, 1361, 20932, 54936,
                                           52936, 57002, 57011, 65001, 1200, 1201, 59999),
                         [](const auto& param) { return "cp" + std::to_string(param.param); });

TEST(AsciiFastPath, AgreesWithThePlainLoops) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> len(0, 70);
    std::uniform_int_distribution<int> where(0, 69);
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::uint8_t> in(static_cast<std::size_t>(len(rng)), 'a');
        for (int k = 0; k < 2; ++k) {
            if (!in.empty() && round % 3 != 0) {
                in[static_cast<std::size_t>(where(rng)) % in.size()] =
                    static_cast<std::uint8_t>(round % 2 ? 0x80 + k : 0);
            }
        }
        std::vector<char16_t> a(in.size() + 16), b(in.size() + 16);
        const std::size_t n1 = ascii::WidenPrefix(in.data(), in.size(), a.data());
        const std::size_t n2 = ascii::WidenPrefixScalar(in.data(), in.size(), b.data());
        ASSERT_EQ(n1, n2);
        ASSERT_TRUE(std::equal(a.begin(), a.begin() + n1, b.begin()));
        ASSERT_EQ(ascii::WidenAscii(in.data(), in.size(), a.data()), n2);
        ASSERT_TRUE(std::equal(a.begin(), a.begin() + n2, b.begin()));
        const std::size_t m = ascii::NonNulAsciiPrefixScalar(in.data(), in.size());
        ASSERT_EQ(ascii::NonNulAsciiPrefix(in.data(), in.size()), m);
        std::vector<std::uint8_t> copy(in.size() + 16);
        ASSERT_EQ(ascii::CopyNonNulAscii(in.data(), in.size(), copy.data()), m);
        ASSERT_TRUE(std::equal(in.begin(), in.begin() + m, copy.begin()));
    }
}

} // namespace
} // namespace varnolt

namespace varnolt {
namespace {

// The generic mode's chunks, byte by byte as the reading rules put them.
std::vector<std::string> ReferenceChunks(std::int32_t codePage, const std::string& bytes) {
    std::vector<std::string> chunks;
    std::string chunk;
    bool bTrailNext = false;
    for (char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        if (!bTrailNext) {
            if (b == 0) {
                continue;
            }
            chunk += c;
            bTrailNext = IsDBCSLeadByteEx(codePage, b);
        } else {
            chunk += c;
            bTrailNext = false;
        }
        if (!bTrailNext && chunk.size() >= 8192) {
            chunks.push_back(chunk);
            chunk.clear();
        }
    }
    if (!chunk.empty()) {
        chunks.push_back(chunk);
    }
    return chunks;
}

using test::DecodeWhole;

TEST(SourceFileReader, GenericChunksAreThoseOfReadingByteByByte) {
    for (std::int32_t codePage : {932, 936, 949, 950, 1361, 20932}) {
        std::vector<std::string> sequences;
        for (const auto& line : test::LoadCodePage(codePage).lines) {
            sequences.push_back(line.bytes);
        }
        std::mt19937 rng(static_cast<unsigned>(codePage));
        std::uniform_int_distribution<std::size_t> pick(0, sequences.size() - 1);
        std::uniform_int_distribution<int> nul(0, 30);
        test::CPipeline pipeline(codePage);
        for (int round = 0; round < 4; ++round) {
            std::string bytes;
            while (bytes.size() < 60000) {
                bytes += sequences[pick(rng)];
                // The first round has no NUL: its chunks are cut in the block.
                if (round > 0 && nul(rng) == 0) {
                    bytes += std::string(static_cast<std::size_t>(round), '\0');
                }
            }
            std::vector<std::size_t> expected;
            for (const std::string& chunk : ReferenceChunks(codePage, bytes)) {
                expected.push_back(DecodeWhole(codePage, chunk, true).text.size());
            }
            const auto result = pipeline.Convert(bytes);
            ASSERT_TRUE(result.bOk) << codePage;
            ASSERT_EQ(pipeline.m_sink.m_pieces, expected) << codePage << " round " << round;
        }
    }
}

} // namespace
} // namespace varnolt

namespace varnolt {
namespace {

// The illegal-unit test as plainly as it can be written.
bool IsLegalUtf16Plain(const std::u16string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (u == 0 || u == 0xFFFE || u == 0xFFFF || (u >= 0xDC00 && u <= 0xDFFF)) {
            return false;
        }
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) {
                return false;
            }
            ++i;
        }
    }
    return true;
}

TEST(UnicodeConverter, IllegalUnitTestAgreesWithThePlainLoopAtEveryPosition) {
    std::mt19937 rng(1200);
    const char16_t specials[] = {0x0000, 0xFFFE, 0xFFFF, 0xD800, 0xDBFF, 0xDC00,
                                 0xDFFF, 0xD7FF, 0xE000, 0xFFFD, 0x0D0A, 0x0001};
    std::uniform_int_distribution<std::size_t> len(0, 80);
    std::uniform_int_distribution<std::size_t> special(0, std::size(specials) - 1);
    int legal = 0;
    for (int round = 0; round < 5000; ++round) {
        std::u16string text(len(rng), u'a');
        for (int k = 0; k < 2 && !text.empty(); ++k) {
            text[std::uniform_int_distribution<std::size_t>(0, text.size() - 1)(rng)] =
                specials[special(rng)];
        }
        const bool expected = IsLegalUtf16Plain(text);
        ASSERT_EQ(CUnicodeConverter::IsLegalUtf16(text.data(), text.size()), expected) << round;
        ASSERT_EQ(ascii::HasNulUnit(text.data(), text.size()),
                  text.find(u'\0') != std::u16string::npos);
        legal += expected ? 1 : 0;
    }
    EXPECT_GT(legal, 500);
    EXPECT_LT(legal, 4500);
}

} // namespace
} // namespace varnolt
