// Double-byte code pages (932, 936, 949, 950, 1361, 20932): lead-byte sets and pair tables.
#include "decode/ascii.hpp"
#include "decode/decoders.hpp"
#include "platform/cpu_features.hpp"

#include <algorithm>

#if defined(VARNOLT_AVX512_KERNELS)
#include <immintrin.h>
#endif

namespace varnolt {

namespace {

bool MapsAsciiToItself(const tables::DoubleByteTable& table) {
    for (unsigned b = 0; b < 0x80; ++b) {
        if (table.aSingle[b] != b || table.aLeadRow[b] != 0) {
            return false;
        }
    }
    return true;
}

#if defined(VARNOLT_AVX512_KERNELS)

// Bytes per block of the vector kernels. A block always starts at a
// character; its last byte may be a lead byte whose trail byte begins the
// next block.
constexpr std::size_t kBlock = 64;

// A block with fewer bytes of 0x80 and above than this is mostly ASCII: the
// one-at-a-time loop, which widens ASCII runs 32 bytes at a time, beats a
// lookup for every byte.
constexpr int kFewHighBytes = 16;
constexpr std::size_t kAsciiStretch = 8 * kBlock;

// The lead bytes among the bytes flagged in `leadSet` (bit j: byte j of a
// block is in the lead-byte set), for a block that begins at a character.
// Within a run of lead-set bytes the leads sit at even offsets from the
// run's start, since a byte after one outside the set always starts a
// character; the others are trail bytes. Adding a run's lowest bit to the set
// carries through the run and clears it, which marks the runs that start at
// odd positions.
constexpr std::uint64_t LeadStarts(std::uint64_t leadSet) {
    constexpr std::uint64_t kEven = 0x5555555555555555ull;
    constexpr std::uint64_t kOdd = ~kEven;
    const std::uint64_t runStarts = leadSet & ~(leadSet << 1);
    const std::uint64_t oddRuns = ((leadSet + (runStarts & kOdd)) ^ leadSet) & leadSet;
    return (oddRuns & kOdd) | (leadSet & ~oddRuns & kEven);
}

VARNOLT_AVX512_KERNELS_BEGIN

// The unit indices of one half (32 bytes) of a block, at every position:
// (row - 1) * 256 + the next byte for a lead-set byte, else the byte's
// single-byte unit.
VARNOLT_AVX512_TARGET inline __m512i HalfIndicesAvx512(__m256i bytes, __m256i rows, __m256i next,
                                                       __mmask32 leadSet, std::uint16_t singles) {
    const __m512i pair = _mm512_or_si512(
        _mm512_slli_epi16(_mm512_sub_epi16(_mm512_cvtepu8_epi16(rows), _mm512_set1_epi16(1)), 8),
        _mm512_cvtepu8_epi16(next));
    const __m512i single = _mm512_add_epi16(_mm512_cvtepu8_epi16(bytes),
                                            _mm512_set1_epi16(static_cast<short>(singles)));
    return _mm512_mask_mov_epi16(single, leadSet, pair);
}

// Whole blocks from in[i] while a byte follows the block, up to one that is
// mostly ASCII (when the page maps ASCII to itself). Unmapped characters
// stay kNoMapping for the caller to settle; true when a block had lookups.
VARNOLT_AVX512_TARGET bool BlocksAvx512(const std::uint8_t* in, std::size_t n,
                                        const std::uint8_t* leadRow, const char16_t* units,
                                        std::uint16_t singles, bool bAsciiIdentity,
                                        std::size_t& iAt, char16_t* out, std::size_t& oAt) {
    // Positions in locals: the stores of units must not reload them.
    std::size_t i = iAt;
    std::size_t o = oAt;
    const __m512i rows0 = _mm512_loadu_si512(leadRow);
    const __m512i rows1 = _mm512_loadu_si512(leadRow + 64);
    const __m512i rows2 = _mm512_loadu_si512(leadRow + 128);
    const __m512i rows3 = _mm512_loadu_si512(leadRow + 192);
    bool bLookups = false;
    // The characters' unit indices of a block, packed; 32 spare entries take
    // the second half's full store.
    // Zeroed before the first lookups: mostly ASCII text may never need it.
    alignas(64) std::uint16_t indices[kBlock + 32];
    while (n - i > kBlock) {
        const std::uint8_t* p = in + i;
        const __m512i v = _mm512_loadu_si512(p);
        const std::uint64_t high = _mm512_movepi8_mask(v);
        if (high == 0 && bAsciiIdentity) {
            _mm512_storeu_si512(out + o, _mm512_cvtepu8_epi16(_mm512_castsi512_si256(v)));
            _mm512_storeu_si512(out + o + 32,
                                _mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(v, 1)));
            i += kBlock;
            o += kBlock;
            continue;
        }
        if (bAsciiIdentity && _mm_popcnt_u64(high) < kFewHighBytes) {
            break;
        }
        if (!bLookups) {
            __builtin_memset(indices, 0, sizeof indices);
            bLookups = true;
        }
        // Each byte's row: the low seven bits pick it from one of two
        // 128-byte halves of the table, the high bit picks the half.
        const __m512i rows = _mm512_mask_mov_epi8(_mm512_permutex2var_epi8(rows0, v, rows1), high,
                                                  _mm512_permutex2var_epi8(rows2, v, rows3));
        const std::uint64_t leadSet = _mm512_test_epi8_mask(rows, rows);
        const std::uint64_t leads = LeadStarts(leadSet);
        const std::uint64_t starts = ~(leads << 1);
        const __m512i next = _mm512_loadu_si512(p + 1);
        const __mmask32 starts0 = static_cast<__mmask32>(starts);
        const __mmask32 starts1 = static_cast<__mmask32>(starts >> 32);
        const __m512i index0 = HalfIndicesAvx512(
            _mm512_castsi512_si256(v), _mm512_castsi512_si256(rows), _mm512_castsi512_si256(next),
            static_cast<__mmask32>(leadSet), singles);
        const __m512i index1 = HalfIndicesAvx512(
            _mm512_extracti64x4_epi64(v, 1), _mm512_extracti64x4_epi64(rows, 1),
            _mm512_extracti64x4_epi64(next, 1), static_cast<__mmask32>(leadSet >> 32), singles);
        const unsigned count0 = static_cast<unsigned>(_mm_popcnt_u32(starts0));
        const unsigned count = count0 + static_cast<unsigned>(_mm_popcnt_u32(starts1));
        _mm512_store_si512(indices, _mm512_maskz_compress_epi16(starts0, index0));
        _mm512_storeu_si512(indices + count0, _mm512_maskz_compress_epi16(starts1, index1));
        // Independent lookups, eight at a time; units past the count are
        // overwritten by the next block (the output has a unit per byte), and
        // the spare indices are left over from earlier blocks or zero.
        char16_t* const to = out + o;
        for (unsigned k = 0; k < count; k += 8) {
            const std::uint16_t* const from = indices + k;
            to[k] = units[from[0]];
            to[k + 1] = units[from[1]];
            to[k + 2] = units[from[2]];
            to[k + 3] = units[from[3]];
            to[k + 4] = units[from[4]];
            to[k + 5] = units[from[5]];
            to[k + 6] = units[from[6]];
            to[k + 7] = units[from[7]];
        }
        o += count;
        i += kBlock + (leads >> 63);
    }
    iAt = i;
    oAt = o;
    return bLookups;
}

// The index of the first kNoMapping unit of text[0, n), or n.
VARNOLT_AVX512_TARGET std::size_t FindUnmappedAvx512(const char16_t* text, std::size_t n) {
    const __m512i noMapping = _mm512_set1_epi16(static_cast<short>(tables::kNoMapping));
    std::size_t k = 0;
    for (; k + 32 <= n; k += 32) {
        if (_mm512_cmpeq_epi16_mask(_mm512_loadu_si512(text + k), noMapping) != 0) {
            break;
        }
    }
    while (k < n && text[k] != tables::kNoMapping) {
        ++k;
    }
    return k;
}

VARNOLT_AVX512_KERNELS_END

// The block kernels leave an unmapped character as kNoMapping (a unit no
// character maps to): a strict error, else U+FFFD. False on a strict error.
bool SettleUnmapped(char16_t* text, std::size_t n, bool bStrict) {
    for (std::size_t k = FindUnmappedAvx512(text, n); k < n;
         k += 1 + FindUnmappedAvx512(text + k + 1, n - k - 1)) {
        if (bStrict) {
            return false;
        }
        text[k] = 0xFFFD;
    }
    return true;
}

#endif

} // namespace

CDoubleByteDecoder::CDoubleByteDecoder(const tables::DoubleByteTable& table)
    : CCodePageDecoder(table.nCodePage), m_table(table),
      m_bAsciiIdentity(MapsAsciiToItself(table)) {
    std::size_t rows = 0;
    for (unsigned b = 0; b < 256; ++b) {
        rows = std::max<std::size_t>(rows, table.aLeadRow[b]);
    }
    const std::size_t singles = rows * 256;
    m_units.assign(singles + 256, tables::kNoMapping);
    for (std::size_t row = 0; row < rows; ++row) {
        for (unsigned trail = table.nTrailMin; trail <= table.nTrailMax; ++trail) {
            m_units[row * 256 + trail] =
                table.pPairs[row * table.nRowWidth + (trail - table.nTrailMin)];
        }
    }
    for (unsigned b = 0; b < 256; ++b) {
        const unsigned row = table.aLeadRow[b];
        m_units[singles + b] = table.aSingle[b];
        m_aStep[b] = row != 0 ? CStep{static_cast<std::uint32_t>((row - 1) * 256), 0xFF}
                              : CStep{static_cast<std::uint32_t>(singles + b), 0};
    }
}

char16_t CDoubleByteDecoder::Pair(std::uint8_t lead, std::uint8_t trail) const {
    const unsigned row = m_table.aLeadRow[lead];
    if (row == 0 || trail < m_table.nTrailMin || trail > m_table.nTrailMax) {
        return tables::kNoMapping;
    }
    return m_table.pPairs[(row - 1) * m_table.nRowWidth + (trail - m_table.nTrailMin)];
}

bool CDoubleByteDecoder::CpuSupports(Kernel kernel) {
    switch (kernel) {
    case Kernel::kPlain:
        return true;
    case Kernel::kAvx512:
        return platform::HasAvx512Kernels();
    }
    return false;
}

CDoubleByteDecoder::Kernel CDoubleByteDecoder::BestKernel() {
    static const Kernel best = CpuSupports(Kernel::kAvx512) ? Kernel::kAvx512 : Kernel::kPlain;
    return best;
}

DecodeError CDoubleByteDecoder::Decode(const std::uint8_t* in, std::size_t n, bool, bool bStrict,
                                       CDecoderState&, char16_t* out, std::size_t& nOut) const {
    return DecodeWith(BestKernel(), in, n, bStrict, out, nOut);
}

bool CDoubleByteDecoder::DecodeSteps(const std::uint8_t* in, std::size_t end, std::size_t n,
                                     bool bStrict, std::size_t& iAt, char16_t* out,
                                     std::size_t& oAt) const {
    // Members and positions in locals: the loop stores UTF-16 units and must
    // not reload them after each store.
    std::size_t i = iAt;
    std::size_t o = oAt;
    const CStep* const steps = m_aStep;
    const char16_t* const units = m_units.data();
    const bool bAsciiIdentity = m_bAsciiIdentity;
    // While a byte follows in[i], a character's unit is one lookup without a
    // range check on the trail byte; an invalid pair takes both its bytes, as
    // a lead byte always claims the next one.
    while (i < end && i + 1 < n) {
        if (in[i] < 0x80 && bAsciiIdentity) {
            const std::size_t run = ascii::TakeAscii(in + i, n - i, out + o);
            i += run;
            o += run;
            continue;
        }
        const CStep step = steps[in[i]];
        char16_t c;
        // A branch, not arithmetic on the length: predicted, it lets the next
        // character's loads start before this one's lookup is done.
        if (step.nTrailMask != 0) {
            c = units[step.nBase + in[i + 1]];
            i += 2;
        } else {
            c = units[step.nBase];
            ++i;
        }
        if (c == tables::kNoMapping) {
            if (bStrict) {
                return false;
            }
            c = 0xFFFD;
        }
        out[o++] = c;
    }
    if (i + 1 == n) {
        // The last byte: a lead byte here has lost its trail byte.
        const std::uint8_t b = in[i];
        char16_t c = m_table.aLeadRow[b] != 0 ? tables::kNoMapping : m_table.aSingle[b];
        if (c == tables::kNoMapping) {
            if (bStrict) {
                return false;
            }
            c = 0xFFFD;
        }
        out[o++] = c;
        ++i;
    }
    iAt = i;
    oAt = o;
    return true;
}

DecodeError CDoubleByteDecoder::DecodeWith(Kernel kernel, const std::uint8_t* in, std::size_t n,
                                           bool bStrict, char16_t* out, std::size_t& nOut) const {
    std::size_t i = 0;
    std::size_t o = 0;
#if defined(VARNOLT_AVX512_KERNELS)
    // The vector kernel keeps unit indices in 16 bits.
    if (kernel == Kernel::kAvx512 && m_units.size() <= 0x10000) {
        while (true) {
            const std::size_t first = o;
            if (BlocksAvx512(in, n, m_table.aLeadRow, m_units.data(),
                             static_cast<std::uint16_t>(m_units.size() - 256), m_bAsciiIdentity, i,
                             out, o) &&
                !SettleUnmapped(out + first, o - first, bStrict)) {
                return DecodeError::kNoUnicodeTranslation;
            }
            if (n - i <= kBlock) {
                break;
            }
            // A mostly ASCII block: such text tends to go on, so the loop
            // takes a few blocks' worth before the vector kernel looks again.
            if (!DecodeSteps(in, i + kAsciiStretch, n, bStrict, i, out, o)) {
                return DecodeError::kNoUnicodeTranslation;
            }
        }
    }
#else
    (void)kernel;
#endif
    if (!DecodeSteps(in, n, n, bStrict, i, out, o)) {
        return DecodeError::kNoUnicodeTranslation;
    }
    nOut = o;
    return DecodeError::kNone;
}

} // namespace varnolt
