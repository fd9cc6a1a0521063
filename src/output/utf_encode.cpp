// Encoding kernels of the target writer, with an SSE2 path for ASCII runs.
#include "output/utf_encode.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace varnolt {
namespace {

inline bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
inline bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Encodes the unit at src[i] (with its partner when it starts a pair) and
// returns how many units it used.
inline std::size_t EncodeOne(const char16_t* src, std::size_t i, std::size_t n, std::uint8_t*& d) {
    const char16_t c = src[i];
    if (c < 0x80) {
        *d++ = static_cast<std::uint8_t>(c);
        return 1;
    }
    if (c < 0x800) {
        *d++ = static_cast<std::uint8_t>(0xC0 | (c >> 6));
        *d++ = static_cast<std::uint8_t>(0x80 | (c & 0x3F));
        return 1;
    }
    if (c < 0xD800 || c > 0xDFFF) {
        *d++ = static_cast<std::uint8_t>(0xE0 | (c >> 12));
        *d++ = static_cast<std::uint8_t>(0x80 | ((c >> 6) & 0x3F));
        *d++ = static_cast<std::uint8_t>(0x80 | (c & 0x3F));
        return 1;
    }
    if (IsHighSurrogate(c) && i + 1 < n && IsLowSurrogate(src[i + 1])) {
        const char32_t cp = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) +
                            (static_cast<char32_t>(src[i + 1]) - 0xDC00);
        *d++ = static_cast<std::uint8_t>(0xF0 | (cp >> 18));
        *d++ = static_cast<std::uint8_t>(0x80 | ((cp >> 12) & 0x3F));
        *d++ = static_cast<std::uint8_t>(0x80 | ((cp >> 6) & 0x3F));
        *d++ = static_cast<std::uint8_t>(0x80 | (cp & 0x3F));
        return 2;
    }
    *d++ = 0xEF;
    *d++ = 0xBF;
    *d++ = 0xBD;
    return 1;
}

} // namespace

std::size_t EncodeUtf8Scalar(const char16_t* src, std::size_t n, std::uint8_t* dst) {
    std::uint8_t* d = dst;
    for (std::size_t i = 0; i < n;) {
        i += EncodeOne(src, i, n, d);
    }
    return static_cast<std::size_t>(d - dst);
}

std::size_t EncodeUtf8(const char16_t* src, std::size_t n, std::uint8_t* dst) {
    std::uint8_t* d = dst;
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i zero = _mm_setzero_si128();
    while (i + 16 <= n) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 8));
        // Saturating pack: ASCII units come out as their byte, others as
        // 0xFF, which the step below never keeps.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_packus_epi16(a, b));
        const __m128i asciiA = _mm_cmpeq_epi16(_mm_and_si128(a, high), zero);
        const __m128i asciiB = _mm_cmpeq_epi16(_mm_and_si128(b, high), zero);
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(asciiA)) |
                              (static_cast<unsigned>(_mm_movemask_epi8(asciiB)) << 16);
        if (mask == 0xFFFFFFFFu) {
            i += 16;
            d += 16;
            continue;
        }
        // Keep the ASCII units before the first other one, then encode the
        // non-ASCII run one unit at a time until ASCII comes back.
        const std::size_t ascii = static_cast<std::size_t>(__builtin_ctz(~mask)) / 2;
        i += ascii;
        d += ascii;
        while (i < n && src[i] >= 0x80) {
            i += EncodeOne(src, i, n, d);
        }
    }
#endif
    while (i < n) {
        i += EncodeOne(src, i, n, d);
    }
    return static_cast<std::size_t>(d - dst);
}

void SwapUtf16Bytes(const char16_t* src, std::size_t n, char16_t* dst) {
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                         _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8)));
    }
#endif
    for (; i < n; ++i) {
        dst[i] = static_cast<char16_t>((src[i] >> 8) | (src[i] << 8));
    }
}

} // namespace varnolt
