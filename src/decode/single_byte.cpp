// Single-byte code pages: one table lookup per byte; blocks of ASCII and of a
// page's run of consecutive letters are widened 16 at a time.
#include "decode/ascii.hpp"
#include "decode/decoders.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Looks one byte up; false in strict mode when the page has no unit for it,
// else U+FFFD stands in.
inline bool MapByte(const char16_t* map, std::uint8_t byte, bool strict, char16_t& out) {
    const char16_t c = map[byte];
    if (c == tables::kNoMapping) {
        out = 0xFFFD;
        return !strict;
    }
    out = c;
    return true;
}

// Shorter runs are not worth a second check per block.
constexpr unsigned kMinRunLength = 16;

#if defined(__SSE2__)

// Widens 16 bytes as ASCII (mapped to itself) or as bytes of the run of
// `length` bytes from `first`, which map to consecutive units from `base`,
// and returns a mask of the bytes that are neither: their units are garbage
// for the caller to look up.
inline unsigned WidenWithRun16(const std::uint8_t* in, char16_t* out, std::uint8_t first,
                               unsigned length, char16_t base) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i offset = _mm_sub_epi8(v, _mm_set1_epi8(static_cast<char>(first)));
    const __m128i inRun =
        _mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(static_cast<char>(length - 1))), offset);
    const __m128i ascii = _mm_cmpgt_epi8(v, _mm_set1_epi8(-1));
    const __m128i zero = _mm_setzero_si128();
    const __m128i shift = _mm_set1_epi16(static_cast<short>(base - first));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_add_epi16(_mm_unpacklo_epi8(v, zero),
                                   _mm_and_si128(_mm_unpacklo_epi8(inRun, inRun), shift)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8),
                     _mm_add_epi16(_mm_unpackhi_epi8(v, zero),
                                   _mm_and_si128(_mm_unpackhi_epi8(inRun, inRun), shift)));
    return ~static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(inRun, ascii))) & 0xFFFF;
}

#else

inline unsigned WidenWithRun16(const std::uint8_t*, char16_t*, std::uint8_t, unsigned, char16_t) {
    return 0xFFFF;
}

#endif

} // namespace

CSingleByteDecoder::CSingleByteDecoder(const tables::SingleByteTable& table)
    : CCodePageDecoder(table.nCodePage), m_table(table),
      m_bAsciiIdentity(MapsAsciiToItself(table.aMap)) {
    if (!m_bAsciiIdentity) {
        return;
    }
    const char16_t* map = table.aMap;
    for (unsigned first = 0x80; first < 0x100;) {
        unsigned end = first;
        while (end < 0x100 && map[end] != tables::kNoMapping &&
               map[end] == static_cast<char16_t>(map[first] + (end - first))) {
            ++end;
        }
        if (end - first > m_nRunLength && end - first >= kMinRunLength) {
            m_nRunFirst = static_cast<std::uint8_t>(first);
            m_nRunLength = end - first;
            m_chRunBase = map[first];
        }
        first = end > first ? end : first + 1;
    }
}

DecodeError CSingleByteDecoder::Decode(const std::uint8_t* in, std::size_t n, bool, bool bStrict,
                                       CDecoderState&, char16_t* out, std::size_t& nOut) const {
    const char16_t* map = m_table.aMap;
    std::size_t i = 0;
    // Blocks of 16: widened at once when all ASCII or in the page's run (a
    // few other bytes, such as punctuation, looked up on their own), else
    // looked up one by one. Undefined bytes are collected per block and
    // judged once, off the hot path.
    while (i + 16 <= n) {
        bool widened = false;
        if (m_nRunLength != 0) {
            unsigned others =
                WidenWithRun16(in + i, out + i, m_nRunFirst, m_nRunLength, m_chRunBase);
            if (others == 0) {
                i += 16;
                continue;
            }
            unsigned beyondThree = others & (others - 1);
            beyondThree &= beyondThree - 1;
            beyondThree &= beyondThree - 1;
            if (beyondThree == 0) {
                for (; others != 0; others &= others - 1) {
                    const auto k = static_cast<unsigned>(__builtin_ctz(others));
                    if (!MapByte(map, in[i + k], bStrict, out[i + k])) {
                        return DecodeError::kNoUnicodeTranslation;
                    }
                }
                widened = true;
            }
        } else {
            widened = m_bAsciiIdentity && ascii::Widen16(in + i, out + i);
        }
        if (!widened) {
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
        if (!MapByte(map, in[i], bStrict, out[i])) {
            return DecodeError::kNoUnicodeTranslation;
        }
    }
    nOut = n;
    return DecodeError::kNone;
}

} // namespace varnolt
