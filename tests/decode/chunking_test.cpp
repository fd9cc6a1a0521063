// One-piece and chunked decoding agree for every decoder family, on files that
// span several chunks, valid and damaged; and the ASCII fast paths agree with
// their plain loops.
#include "decode/ascii.hpp"
#include "decode/chunking_check.hpp"
#include "decode/codepage_data.hpp"
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
