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
        m_aStep[b] = row != 0 ? CStep{static_cast<std::uint32_t>((row - 1) * 256), 2}
                              : CStep{static_cast<std::uint32_t>(singles + b), 1};
    }
}

char16_t CDoubleByteDecoder::Pair(std::uint8_t lead, std::uint8_t trail) const {
    const unsigned row = m_table.aLeadRow[lead];
    if (row == 0 || trail < m_table.nTrailMin || trail > m_table.nTrailMax) {
        return tables::kNoMapping;
    }
    return m_table.pPairs[(row - 1) * m_table.nRowWidth + (trail - m_table.nTrailMin)];
}

DecodeError CDoubleByteDecoder::Decode(const std::uint8_t* in, std::size_t n, bool, bool bStrict,
                                       CDecoderState&, char16_t* out, std::size_t& nOut) const {
    // Members in locals: the loop stores UTF-16 units and must not reload
    // them after each store.
    const CStep* const steps = m_aStep;
    const char16_t* const units = m_units.data();
    const bool bAsciiIdentity = m_bAsciiIdentity;
    std::size_t i = 0;
    std::size_t o = 0;
    // While a byte follows in[i], a character's unit is one lookup without a
    // range check on the trail byte; an invalid pair takes both its bytes, as
    // a lead byte always claims the next one.
    while (i + 1 < n) {
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
        if (step.nLength == 2) {
            c = units[step.nBase + in[i + 1]];
            i += 2;
        } else {
            c = units[step.nBase];
            ++i;
        }
        if (c == tables::kNoMapping) {
            if (bStrict) {
                return DecodeError::kNoUnicodeTranslation;
            }
            c = 0xFFFD;
        }
        out[o++] = c;
    }
    if (i < n) {
        // The last byte: a lead byte here has lost its trail byte.
        const std::uint8_t b = in[i];
        char16_t c = m_table.aLeadRow[b] != 0 ? tables::kNoMapping : m_table.aSingle[b];
        if (c == tables::kNoMapping) {
            if (bStrict) {
                return DecodeError::kNoUnicodeTranslation;
            }
            c = 0xFFFD;
        }
        out[o++] = c;
    }
    nOut = o;
    return DecodeError::kNone;
}

} // namespace varnolt
