// Single-byte decoder: blocks widened at once (ASCII and a page's run of
// consecutive letters) must give exactly the table's units, byte by byte.
#include "decode/codepage_tables.hpp"
#include "decode/decoders.hpp"

#include <gtest/gtest.h>
#include <random>
#include <string>

namespace varnolt {
namespace {

TEST(SingleByteDecoder, BlocksAgreeWithTheTableOnEveryPage) {
    std::mt19937 rng(1251);
    for (std::size_t t = 0; t < tables::kSingleByteTableCount; ++t) {
        const tables::SingleByteTable& table = tables::kSingleByteTables[t];
        const CSingleByteDecoder decoder(table);
        for (int round = 0; round < 40; ++round) {
            // Mostly letters from 0xC0 up and spaces, with any byte now and
            // then, so blocks fall inside and just outside a run.
            std::vector<std::uint8_t> bytes(1 + rng() % 70);
            const unsigned any = 1 + rng() % 30;
            for (auto& b : bytes) {
                const unsigned r = rng();
                b = static_cast<std::uint8_t>(r % any == 0 ? (r >> 8) % 256
                                              : r % 5 == 0 ? ' '
                                                           : 0xC0 + (r >> 8) % 64);
            }
            std::u16string expected;
            for (const std::uint8_t b : bytes) {
                expected += table.aMap[b] == tables::kNoMapping ? u'\xFFFD' : table.aMap[b];
            }
            std::u16string out(bytes.size(), u'\0');
            std::size_t n = 0;
            CDecoderState state;
            ASSERT_EQ(decoder.Decode(bytes.data(), bytes.size(), true, false, state, out.data(), n),
                      DecodeError::kNone);
            out.resize(n);
            ASSERT_EQ(out, expected) << table.nCodePage << " round " << round;
        }
    }
}

// An undefined byte among letters fails a strict decode wherever it sits in
// a block, and becomes U+FFFD otherwise.
TEST(SingleByteDecoder, UndefinedByteAmongLettersIsCaughtAtEveryPosition) {
    int checked = 0;
    for (std::size_t t = 0; t < tables::kSingleByteTableCount; ++t) {
        const tables::SingleByteTable& table = tables::kSingleByteTables[t];
        unsigned undefined = 0;
        unsigned letter = 0;
        for (unsigned b = 0xFF; b >= 0x80; --b) {
            (table.aMap[b] == tables::kNoMapping ? undefined : letter) = b;
        }
        if (undefined == 0 || letter == 0) {
            continue;
        }
        const CSingleByteDecoder decoder(table);
        for (std::size_t at = 0; at < 40; ++at) {
            std::vector<std::uint8_t> bytes(40, static_cast<std::uint8_t>(letter));
            bytes[at] = static_cast<std::uint8_t>(undefined);
            std::u16string out(bytes.size(), u'\0');
            std::size_t n = 0;
            CDecoderState state;
            EXPECT_EQ(decoder.Decode(bytes.data(), bytes.size(), true, true, state, out.data(), n),
                      DecodeError::kNoUnicodeTranslation)
                << table.nCodePage << " at " << at;
            ASSERT_EQ(decoder.Decode(bytes.data(), bytes.size(), true, false, state, out.data(), n),
                      DecodeError::kNone);
            std::u16string expected(bytes.size(), table.aMap[letter]);
            expected[at] = u'\xFFFD';
            ASSERT_EQ(out, expected) << table.nCodePage << " at " << at;
        }
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

} // namespace
} // namespace varnolt
