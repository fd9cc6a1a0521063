// The double-byte decoder's kernels against the plain loop they replaced
// (kept here as the reference): same units, same errors, on random mixes of
// ASCII runs, single bytes, mapped and unmapped pairs, lead bytes with a
// trail byte out of range and a lead byte cut off at the end, and on runs of
// lead-set bytes across the vector kernel's block boundaries.
#include "decode/code_page_decoder.hpp"
#include "decode/codepage_tables.hpp"
#include "decode/decoders.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>
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

using Kernel = CDoubleByteDecoder::Kernel;

const char* KernelName(Kernel kernel) {
    return kernel == Kernel::kPlain ? "plain" : "avx512";
}

class DoubleByteKernelTest : public ::testing::TestWithParam<std::tuple<std::int32_t, Kernel>> {
protected:
    void SetUp() override {
        if (!CDoubleByteDecoder::CpuSupports(kernel)) {
            GTEST_SKIP() << "this CPU lacks the " << KernelName(kernel) << " kernel's instructions";
        }
        decoder = dynamic_cast<const CDoubleByteDecoder*>(FindDecoder(codePage));
        ASSERT_NE(decoder, nullptr);
    }

    // Decodes bytes[from, from + n) from a buffer of exactly n bytes into one
    // of exactly n units (so that the sanitizer sees any access past them),
    // strict and not, and compares with the reference: the units, or the
    // strict error with nOut left alone. False when the strict mode failed.
    bool ExpectLikeReference(const std::string& bytes, std::size_t from, std::size_t n,
                             const std::string& what) {
        const std::vector<std::uint8_t> in(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                                           bytes.begin() + static_cast<std::ptrdiff_t>(from + n));
        bool bStrictOk = true;
        for (const bool bStrict : {false, true}) {
            std::u16string expected;
            const bool bExpectedOk = ReferenceDecode(table, in.data(), n, bStrict, expected);
            std::vector<char16_t> out(decoder->MaxOutput(n));
            constexpr std::size_t kUntouched = 0x5EED;
            std::size_t nOut = kUntouched;
            const DecodeError error =
                decoder->DecodeWith(kernel, in.data(), n, bStrict, out.data(), nOut);
            const std::string where = std::string(" code page ") + std::to_string(codePage) + " " +
                                      KernelName(kernel) + (bStrict ? " strict " : " ") + what;
            if (bExpectedOk) {
                EXPECT_EQ(error, DecodeError::kNone) << where;
                EXPECT_EQ(std::u16string(out.data(), nOut), expected) << where;
            } else {
                EXPECT_EQ(error, DecodeError::kNoUnicodeTranslation) << where;
                EXPECT_EQ(nOut, kUntouched) << where;
            }
            bStrictOk = bStrict ? bExpectedOk : bStrictOk;
        }
        return bStrictOk;
    }

    const std::int32_t codePage = std::get<0>(GetParam());
    const Kernel kernel = std::get<1>(GetParam());
    const tables::DoubleByteTable& table = Table(codePage);
    const CDoubleByteDecoder* decoder = nullptr;
};

TEST_P(DoubleByteKernelTest, MatchesReferenceOnRandomMixesAtEveryLength) {
    std::mt19937 rng(static_cast<unsigned>(codePage));
    int strictFailures = 0;
    for (int round = 0; round < 400 && !HasFailure(); ++round) {
        const std::string bytes = RandomBytes(table, rng, 1 + round % 97 + (round % 5) * 60);
        // Every suffix: each byte gets its turn at the start and at the end.
        for (std::size_t from = 0; from < bytes.size(); from += 1 + from / 8) {
            const bool bOk = ExpectLikeReference(bytes, from, bytes.size() - from,
                                                 "round " + std::to_string(round) + " from " +
                                                     std::to_string(from));
            strictFailures += bOk ? 0 : 1;
        }
    }
    // The mixes must reach the error paths, or the strict half tests nothing.
    EXPECT_GT(strictFailures, 0);
    // Every length from 0 to 200 of one mix, from an even and an odd start.
    const std::string bytes = RandomBytes(table, rng, 202);
    for (std::size_t n = 0; n <= 200 && !HasFailure(); ++n) {
        ExpectLikeReference(bytes, 0, n, "length " + std::to_string(n));
        ExpectLikeReference(bytes, 1, n, "length " + std::to_string(n) + " from 1");
    }
}

// Every lead byte with every trail byte, then the lead byte alone at the end.
TEST_P(DoubleByteKernelTest, EveryPairAndEveryCutLeadByte) {
    for (unsigned first = 0; first < 256 && !HasFailure(); ++first) {
        std::string bytes;
        for (unsigned second = 0; second < 256; ++second) {
            bytes += static_cast<char>(first);
            bytes += static_cast<char>(second);
        }
        bytes += static_cast<char>(first);
        ExpectLikeReference(bytes, 0, bytes.size(), "first byte " + std::to_string(first));
    }
}

// A run of lead-set bytes decides by its parity which of its bytes are
// leads, and a lead at a block's end takes the next block's first byte:
// runs of every length from 0 to 140 that start on both sides of the first
// and second block boundaries, ended by ASCII, by a single byte of 0x80 and
// above, by a mapped pair or by the end of the text.
TEST_P(DoubleByteKernelTest, LeadSetRunsOfEveryLengthAcrossBlockBoundaries) {
    std::vector<std::uint8_t> leads;
    std::string highSingle;
    for (unsigned b = 0; b < 256; ++b) {
        if (table.aLeadRow[b] != 0) {
            leads.push_back(static_cast<std::uint8_t>(b));
        } else if (b >= 0x80 && table.aSingle[b] != tables::kNoMapping && highSingle.empty()) {
            highSingle = std::string(1, static_cast<char>(b));
        }
    }
    // A mapped pair: the first lead byte with its first trail byte that maps.
    std::string pair;
    for (unsigned trail = table.nTrailMin; pair.empty() && trail <= table.nTrailMax; ++trail) {
        if (table.pPairs[(table.aLeadRow[leads[0]] - 1) * table.nRowWidth +
                         (trail - table.nTrailMin)] != tables::kNoMapping) {
            pair = {static_cast<char>(leads[0]), static_cast<char>(trail)};
        }
    }
    ASSERT_FALSE(pair.empty());
    std::mt19937 rng(static_cast<unsigned>(codePage) * 7);
    for (const std::size_t start : {0, 1, 2, 31, 32, 33, 61, 62, 63, 64, 65, 66, 127, 128, 129}) {
        for (std::size_t length = 0; length <= 140 && !HasFailure(); ++length) {
            for (const std::string& end : {std::string("a"), highSingle, pair, std::string()}) {
                std::string bytes(start, 'x');
                for (std::size_t k = 0; k < length; ++k) {
                    bytes += static_cast<char>(leads[rng() % leads.size()]);
                }
                bytes += end;
                const std::string what = "run of " + std::to_string(length) + " at " +
                                         std::to_string(start) + " ended by " +
                                         std::to_string(end.empty() ? -1 : (end[0] & 0xFF));
                ExpectLikeReference(bytes, 0, bytes.size(), what);
                // The same with text after it, so that the run is inside a
                // block and not in the tail.
                ExpectLikeReference(bytes + std::string(70, 'y') + pair + "z", 0,
                                    bytes.size() + 72 + pair.size() - 1, what + " then text");
            }
        }
    }
}

// Markup with a few characters of the page between stretches of dense text,
// so that the vector kernel hands mostly ASCII stretches of every length to
// the one-at-a-time loop and takes over again at every offset.
TEST_P(DoubleByteKernelTest, MostlyAsciiStretchesBetweenDenseText) {
    std::mt19937 rng(static_cast<unsigned>(codePage) * 11);
    for (int round = 0; round < 60 && !HasFailure(); ++round) {
        std::string bytes;
        while (bytes.size() < 3000) {
            std::string sparse(rng() % 700, '<');
            for (std::size_t k = 0; k < sparse.size(); k += 1 + rng() % 40) {
                const std::string pair = RandomBytes(table, rng, 2);
                sparse.replace(k, std::min<std::size_t>(2, sparse.size() - k), pair, 0,
                               std::min<std::size_t>(2, sparse.size() - k));
            }
            bytes += sparse + RandomBytes(table, rng, rng() % 300);
        }
        for (std::size_t from = 0; from < 70; from += 1 + rng() % 9) {
            ExpectLikeReference(bytes, from, bytes.size() - from,
                                "round " + std::to_string(round) + " from " + std::to_string(from));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(DoubleBytePages, DoubleByteKernelTest,
                         ::testing::Combine(::testing::Values(932, 936, 949, 950, 1361, 20932),
                                            ::testing::Values(Kernel::kPlain, Kernel::kAvx512)),
                         [](const auto& param) {
                             return std::to_string(std::get<0>(param.param)) + "_" +
                                    KernelName(std::get<1>(param.param));
                         });

} // namespace
} // namespace varnolt
