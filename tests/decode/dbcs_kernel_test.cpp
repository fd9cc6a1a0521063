// The double-byte decoder's lookup loop against the plain loop it replaced
// (kept here as the reference): same units, same errors, on random mixes of
// ASCII runs, single bytes, mapped and unmapped pairs, lead bytes with a
// trail byte out of range and a lead byte cut off at the end.
#include "decode/code_page_decoder.hpp"
#include "decode/codepage_tables.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace varnolt {
namespace {

const tables::DoubleByteTable& Table(std::int32_t codePage) {
    for (std::size_t k = 0; k < tables::kDoubleByteTableCount; ++k) {
        if (tables::kDoubleByteTables[k].nCodePage == codePage) {
            return tables::kDoubleByteTables[k];
        }
    }
    throw std::invalid_argument("no double-byte table");
}

// The decoder as it was: a range check on the trail byte and a row of the
// table's own width. False on a strict error.
bool ReferenceDecode(const tables::DoubleByteTable& t, const std::uint8_t* in, std::size_t n,
                     bool bStrict, std::u16string& out) {
    std::size_t i = 0;
    while (i < n) {
        const std::uint8_t b = in[i];
        char16_t c;
        const unsigned row = t.aLeadRow[b];
        if (row != 0) {
            const unsigned trail = i + 1 < n ? in[i + 1] - t.nTrailMin : ~0u;
            c = trail <= unsigned(t.nTrailMax - t.nTrailMin)
                    ? t.pPairs[(row - 1) * t.nRowWidth + trail]
                    : tables::kNoMapping;
            i += 2;
        } else {
            c = t.aSingle[b];
            ++i;
        }
        if (c == tables::kNoMapping) {
            if (bStrict) {
                return false;
            }
            c = 0xFFFD;
            i = std::min(i, n);
        }
        out += c;
    }
    return true;
}

// Bytes in runs of one kind, so that the text switches between the ASCII
// path and the lookups at every offset.
std::string RandomBytes(const tables::DoubleByteTable& t, std::mt19937& rng, std::size_t n) {
    std::vector<std::uint8_t> leads;
    for (unsigned b = 0; b < 256; ++b) {
        if (t.aLeadRow[b] != 0) {
            leads.push_back(static_cast<std::uint8_t>(b));
        }
    }
    std::string bytes;
    while (bytes.size() < n) {
        const unsigned kind = rng() % 8;
        for (unsigned k = 1 + rng() % 10; k > 0; --k) {
            const std::uint8_t lead = leads[rng() % leads.size()];
            const unsigned span = t.nTrailMax - t.nTrailMin + 1u;
            switch (kind) {
            case 0: // ASCII
                bytes += static_cast<char>(rng() % 0x80);
                break;
            case 1: // any byte
                bytes += static_cast<char>(rng());
                break;
            case 2: // a lead byte and any trail byte
                bytes += static_cast<char>(lead);
                bytes += static_cast<char>(rng());
                break;
            default: // a lead byte and a trail byte in range (mapped or not)
                bytes += static_cast<char>(lead);
                bytes += static_cast<char>(t.nTrailMin + rng() % span);
                break;
            }
        }
    }
    bytes.resize(n);
    return bytes;
}

class DoubleByteKernelTest : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(DoubleByteKernelTest, MatchesReferenceOnRandomMixesAtEveryLength) {
    const tables::DoubleByteTable& table = Table(GetParam());
    const CCodePageDecoder* decoder = FindDecoder(GetParam());
    ASSERT_NE(decoder, nullptr);
    std::mt19937 rng(static_cast<unsigned>(GetParam()));
    int strictFailures = 0;
    for (int round = 0; round < 400; ++round) {
        const std::string bytes = RandomBytes(table, rng, 1 + round % 97);
        const auto* in = reinterpret_cast<const std::uint8_t*>(bytes.data());
        // Every suffix: each byte gets its turn at the start and at the end.
        for (std::size_t from = 0; from < bytes.size(); from += 1 + from / 8) {
            for (const bool bStrict : {false, true}) {
                const std::size_t n = bytes.size() - from;
                std::u16string expected;
                const bool bExpectedOk = ReferenceDecode(table, in + from, n, bStrict, expected);
                std::vector<char16_t> out(decoder->MaxOutput(n));
                CDecoderState state;
                std::size_t nOut = 0;
                const DecodeError error =
                    decoder->Decode(in + from, n, true, bStrict, state, out.data(), nOut);
                ASSERT_EQ(error == DecodeError::kNone, bExpectedOk)
                    << "code page " << GetParam() << " round " << round << " from " << from;
                strictFailures += bExpectedOk ? 0 : 1;
                if (bExpectedOk) {
                    ASSERT_EQ(std::u16string(out.data(), nOut), expected)
                        << "code page " << GetParam() << " round " << round << " from " << from
                        << (bStrict ? " strict" : "");
                }
            }
        }
    }
    // The mixes must reach the error paths, or the strict half tests nothing.
    EXPECT_GT(strictFailures, 0);
}

// Every lead byte with every trail byte, then the lead byte alone at the end.
TEST_P(DoubleByteKernelTest, EveryPairAndEveryCutLeadByte) {
    const tables::DoubleByteTable& table = Table(GetParam());
    const CCodePageDecoder* decoder = FindDecoder(GetParam());
    ASSERT_NE(decoder, nullptr);
    for (unsigned first = 0; first < 256; ++first) {
        std::string bytes;
        for (unsigned second = 0; second < 256; ++second) {
            bytes += static_cast<char>(first);
            bytes += static_cast<char>(second);
        }
        bytes += static_cast<char>(first);
        const auto* in = reinterpret_cast<const std::uint8_t*>(bytes.data());
        std::u16string expected;
        ReferenceDecode(table, in, bytes.size(), false, expected);
        std::vector<char16_t> out(decoder->MaxOutput(bytes.size()));
        CDecoderState state;
        std::size_t nOut = 0;
        ASSERT_EQ(decoder->Decode(in, bytes.size(), true, false, state, out.data(), nOut),
                  DecodeError::kNone);
        ASSERT_EQ(std::u16string(out.data(), nOut), expected) << "first byte " << first;
    }
}

INSTANTIATE_TEST_SUITE_P(DoubleBytePages, DoubleByteKernelTest,
                         ::testing::Values(932, 936, 949, 950, 1361, 20932));

} // namespace
} // namespace varnolt
