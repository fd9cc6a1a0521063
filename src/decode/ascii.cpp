// The ASCII fast path: runs of ASCII 16 bytes at a time.
#include "decode/ascii.hpp"

namespace varnolt::ascii {

std::size_t WidenPrefixScalar(const std::uint8_t* in, std::size_t n, char16_t* out) {
    std::size_t i = 0;
    while (i < n && in[i] < 0x80) {
        out[i] = in[i];
        ++i;
    }
    return i;
}

std::size_t NonNulAsciiPrefixScalar(const std::uint8_t* in, std::size_t n) {
    std::size_t i = 0;
    while (i < n && in[i] != 0 && in[i] < 0x80) {
        ++i;
    }
    return i;
}

bool HasNulUnit(const char16_t* text, std::size_t n) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(v, zero)) != 0) {
            return true;
        }
    }
#endif
    for (; i < n; ++i) {
        if (text[i] == 0) {
            return true;
        }
    }
    return false;
}

std::size_t FirstUnitToCheck(const char16_t* text, std::size_t n) {
    std::size_t i = 0;
#if defined(__SSE2__)
    // (u - 1) >= 0xD7FF unsigned, done as a signed compare after flipping the top bit.
    const __m128i one = _mm_set1_epi16(1);
    const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
    const __m128i limit = _mm_set1_epi16(static_cast<short>(0xD7FE ^ 0x8000));
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        const __m128i t = _mm_xor_si128(_mm_sub_epi16(v, one), flip);
        if (_mm_movemask_epi8(_mm_cmpgt_epi16(t, limit)) != 0) {
            break;
        }
    }
#endif
    while (i < n && text[i] != 0 && text[i] < 0xD800) {
        ++i;
    }
    return i;
}

std::size_t WidenPrefix(const std::uint8_t* in, std::size_t n, char16_t* out) {
    std::size_t i = 0;
    while (i + 16 <= n && Widen16(in + i, out + i)) {
        i += 16;
    }
    return i + WidenPrefixScalar(in + i, n - i, out + i);
}

std::size_t NonNulAsciiPrefix(const std::uint8_t* in, std::size_t n) {
    std::size_t i = 0;
    while (i + 16 <= n && IsNonNulAscii16(in + i)) {
        i += 16;
    }
    return i + NonNulAsciiPrefixScalar(in + i, n - i);
}

} // namespace varnolt::ascii
