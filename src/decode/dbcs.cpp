// Double-byte code pages (932, 936, 949, 950, 1361, 20932): lead-byte sets and pair tables.
#include "decode/ascii.hpp"
#include "decode/decoders.hpp"

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
    std::size_t i = 0;
    std::size_t o = 0;
    while (i < n) {
        const std::uint8_t b = in[i];
        if (b < 0x80 && m_bAsciiIdentity) {
            if (i + 1 < n && in[i + 1] >= 0x80) {
                out[o++] = b; // a lone space or sign between letters
                ++i;
                continue;
            }
            const std::size_t run = ascii::WidenAscii(in + i, n - i, out + o);
            i += run;
            o += run;
            continue;
        }
        char16_t c;
        if (m_table.aLeadRow[b] != 0) {
            // A lead byte at the end of the input has lost its trail byte.
            c = i + 1 < n ? Pair(b, in[i + 1]) : tables::kNoMapping;
            i += i + 1 < n ? 2 : 1;
        } else {
            c = m_table.aSingle[b];
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
    nOut = o;
    return DecodeError::kNone;
}

} // namespace varnolt
