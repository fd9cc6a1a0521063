// Single-byte code pages: one table lookup per byte, ASCII runs widened 16 at a time.
#include "decode/ascii.hpp"
#include "decode/decoders.hpp"

namespace varnolt {

namespace {

bool MapsAsciiToItself(const char16_t* map) {
    for (unsigned b = 0; b < 0x80; ++b) {
        if (map[b] != b) {
            return false;
        }
    }
    return true;
}

} // namespace

CSingleByteDecoder::CSingleByteDecoder(const tables::SingleByteTable& table)
    : CCodePageDecoder(table.nCodePage), m_table(table),
      m_bAsciiIdentity(MapsAsciiToItself(table.aMap)) {}

DecodeError CSingleByteDecoder::Decode(const std::uint8_t* in, std::size_t n, bool, bool bStrict,
                                       CDecoderState&, char16_t* out, std::size_t& nOut) const {
    const char16_t* map = m_table.aMap;
    std::size_t i = 0;
    // Blocks of 16: widened at once when all ASCII, else looked up one by one.
    // Undefined bytes are collected per block and judged once, off the hot path.
    while (i + 16 <= n) {
        if (!(m_bAsciiIdentity && ascii::Widen16(in + i, out + i))) {
            unsigned bad = 0;
            for (int k = 0; k < 16; ++k) {
                const char16_t c = map[in[i + k]];
                bad |= (c == tables::kNoMapping);
                out[i + k] = c;
            }
            if (bad) {
                if (bStrict) {
                    return DecodeError::kNoUnicodeTranslation;
                }
                for (int k = 0; k < 16; ++k) {
                    if (out[i + k] == tables::kNoMapping) {
                        out[i + k] = 0xFFFD;
                    }
                }
            }
        }
        i += 16;
    }
    for (; i < n; ++i) {
        char16_t c = map[in[i]];
        if (c == tables::kNoMapping) {
            if (bStrict) {
                return DecodeError::kNoUnicodeTranslation;
            }
            c = 0xFFFD;
        }
        out[i] = c;
    }
    nOut = n;
    return DecodeError::kNone;
}

} // namespace varnolt
