// Double-byte code pages (932, 936, 949, 950, 1361, 20932): lead-byte sets and pair tables.
#include "decode/ascii.hpp"
#include "decode/decoders.hpp"

#include <algorithm>

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

} // namespace

CDoubleByteDecoder::CDoubleByteDecoder(const tables::DoubleByteTable& table)
    : CCodePageDecoder(table.nCodePage), m_table(table),
      m_bAsciiIdentity(MapsAsciiToItself(table)) {}

char16_t CDoubleByteDecoder::Pair(std::uint8_t lead, std::uint8_t trail) const {
    const unsigned row = m_table.aLeadRow[lead];
    if (row == 0 || trail < m_table.nTrailMin || trail > m_table.nTrailMax) {
        return tables::kNoMapping;
    }
    return m_table.pPairs[(row - 1) * m_table.nRowWidth + (trail - m_table.nTrailMin)];
}

DecodeError CDoubleByteDecoder::Decode(const std::uint8_t* in, std::size_t n, bool, bool bStrict,
                                       CDecoderState&, char16_t* out, std::size_t& nOut) const {
    // The table's fields in locals: the loop stores UTF-16 units and must not
    // reload them after each store.
    const std::uint8_t* const leadRow = m_table.aLeadRow;
    const char16_t* const single = m_table.aSingle;
    const char16_t* const pairs = m_table.pPairs;
    const unsigned trailMin = m_table.nTrailMin;
    const unsigned trailSpan = m_table.nTrailMax - m_table.nTrailMin;
    const std::size_t rowWidth = m_table.nRowWidth;
    const bool bAsciiIdentity = m_bAsciiIdentity;
    std::size_t i = 0;
    std::size_t o = 0;
    while (i < n) {
        const std::uint8_t b = in[i];
        if (b < 0x80 && bAsciiIdentity) {
            const std::size_t run = ascii::TakeAscii(in + i, n - i, out + o);
            i += run;
            o += run;
            continue;
        }
        char16_t c;
        const unsigned row = leadRow[b];
        if (row != 0) {
            // A lead byte at the end of the input has lost its trail byte.
            const unsigned trail = i + 1 < n ? in[i + 1] - trailMin : ~0u;
            c = trail <= trailSpan ? pairs[(row - 1) * rowWidth + trail] : tables::kNoMapping;
            i += 2;
        } else {
            c = single[b];
            ++i;
        }
        if (c == tables::kNoMapping) {
            if (bStrict) {
                return DecodeError::kNoUnicodeTranslation;
            }
            c = 0xFFFD;
            i = std::min(i, n);
        }
        out[o++] = c;
    }
    nOut = o;
    return DecodeError::kNone;
}

} // namespace varnolt
