// The ASCII fast path: 16 bytes at a time with SSE2 where the target has it.
#include "decode/ascii.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

#if defined(__SSE2__)

bool Widen16(const std::uint8_t* in, char16_t* out) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    if (_mm_movemask_epi8(v) != 0) {
        return false;
    }
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(v, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(v, zero));
    return true;
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
    const __m128i zero = _mm_setzero_si128();
    while (i + 16 <= n) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        // A set top bit or a zero byte ends the run.
        if (_mm_movemask_epi8(_mm_or_si128(v, _mm_cmpeq_epi8(v, zero))) != 0) {
            break;
        }
        i += 16;
    }
    return i + NonNulAsciiPrefixScalar(in + i, n - i);
}

#else

bool Widen16(const std::uint8_t* in, char16_t* out) {
    for (int i = 0; i < 16; ++i) {
        if (in[i] >= 0x80) {
            return false;
        }
    }
    for (int i = 0; i < 16; ++i) {
        out[i] = in[i];
    }
    return true;
}

std::size_t WidenPrefix(const std::uint8_t* in, std::size_t n, char16_t* out) {
    return WidenPrefixScalar(in, n, out);
}

std::size_t NonNulAsciiPrefix(const std::uint8_t* in, std::size_t n) {
    return NonNulAsciiPrefixScalar(in, n);
}

#endif

} // namespace varnolt::ascii
