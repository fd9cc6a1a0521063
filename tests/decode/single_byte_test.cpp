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

} // namespace
} // namespace varnolt
