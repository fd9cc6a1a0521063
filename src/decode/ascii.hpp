// The ASCII fast path shared by the decoders and the reader: ASCII runs dominate real text.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace varnolt::ascii {

// Widens the leading ASCII bytes (below 0x80) of `in` into UTF-16 units and
// returns how many there were; stops at the first other byte.
std::size_t WidenPrefix(const std::uint8_t* in, std::size_t n, char16_t* out);

// The plain loop that WidenPrefix must agree with (kept for the tests).
std::size_t WidenPrefixScalar(const std::uint8_t* in, std::size_t n, char16_t* out);

// True when a UTF-16 unit of text[0, n) is NUL.
bool HasNulUnit(const char16_t* text, std::size_t n);

// Index of the first unit that is NUL or 0xD800 and above (surrogates,
// U+FFFE, U+FFFF and the private and compatibility areas), or n.
std::size_t FirstUnitToCheck(const char16_t* text, std::size_t n);

// Length of the leading run of bytes 0x01-0x7F (ASCII without NUL).
std::size_t NonNulAsciiPrefix(const std::uint8_t* in, std::size_t n);

// The plain loop that NonNulAsciiPrefix must agree with.
std::size_t NonNulAsciiPrefixScalar(const std::uint8_t* in, std::size_t n);

#if defined(__SSE2__)

// Widens exactly 16 bytes when all of them are ASCII; false (nothing written) otherwise.
inline bool Widen16(const std::uint8_t* in, char16_t* out) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    if (_mm_movemask_epi8(v) != 0) {
        return false;
    }
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(v, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(v, zero));
    return true;
}

// Widens all 16 bytes and returns how many of them lead as ASCII (0 to 16);
// units past that count are garbage for the caller to overwrite.
inline unsigned WidenUpTo16(const std::uint8_t* in, char16_t* out) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(v, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(v, zero));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(v));
    return mask == 0 ? 16 : static_cast<unsigned>(__builtin_ctz(mask));
}

// How many of the 16 bytes lead as 0x01-0x7F (0 to 16).
inline unsigned NonNulAsciiCount16(const std::uint8_t* in) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const unsigned mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(v, _mm_cmpeq_epi8(v, _mm_setzero_si128()))));
    return mask == 0 ? 16 : static_cast<unsigned>(__builtin_ctz(mask));
}

// True when the 16 bytes are all 0x01-0x7F.
inline bool IsNonNulAscii16(const std::uint8_t* in) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    return _mm_movemask_epi8(_mm_or_si128(v, _mm_cmpeq_epi8(v, _mm_setzero_si128()))) == 0;
}

#else

inline bool Widen16(const std::uint8_t* in, char16_t* out) {
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

inline unsigned WidenUpTo16(const std::uint8_t* in, char16_t* out) {
    unsigned count = 16;
    for (unsigned i = 0; i < 16; ++i) {
        out[i] = in[i];
        if (in[i] >= 0x80 && count == 16) {
            count = i;
        }
    }
    return count;
}

inline unsigned NonNulAsciiCount16(const std::uint8_t* in) {
    for (unsigned i = 0; i < 16; ++i) {
        if (in[i] == 0 || in[i] >= 0x80) {
            return i;
        }
    }
    return 16;
}

inline bool IsNonNulAscii16(const std::uint8_t* in) {
    for (int i = 0; i < 16; ++i) {
        if (in[i] == 0 || in[i] >= 0x80) {
            return false;
        }
    }
    return true;
}

#endif

// Copies the leading run of bytes 0x01-0x7F of in[0, n) to out and returns
// its length. May write up to n bytes of out.
inline std::size_t CopyNonNulAscii(const std::uint8_t* in, std::size_t n, std::uint8_t* out) {
    std::size_t i = 0;
    // Whole blocks first: their step does not depend on the data, so the
    // loop runs ahead of the loads.
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    while (i + 32 <= n) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 16));
        const __m128i bad = _mm_or_si128(_mm_or_si128(a, _mm_cmpeq_epi8(a, zero)),
                                         _mm_or_si128(b, _mm_cmpeq_epi8(b, zero)));
        if (_mm_movemask_epi8(bad) != 0) {
            break;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), a);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 16), b);
        i += 32;
    }
#endif
    while (i + 16 <= n && IsNonNulAscii16(in + i)) {
        __builtin_memcpy(out + i, in + i, 16);
        i += 16;
    }
    if (i + 16 <= n) {
        __builtin_memcpy(out + i, in + i, 16);
        return i + NonNulAsciiCount16(in + i);
    }
    while (i < n && in[i] != 0 && in[i] < 0x80) {
        out[i] = in[i];
        ++i;
    }
    return i;
}

// Widens the leading ASCII run of in[0, n) to out and returns its length.
// May write up to n units of out.
inline std::size_t WidenAscii(const std::uint8_t* in, std::size_t n, char16_t* out) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    while (i + 32 <= n) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 16));
        if (_mm_movemask_epi8(_mm_or_si128(a, b)) != 0) {
            break;
        }
        auto* o = reinterpret_cast<__m128i*>(out + i);
        _mm_storeu_si128(o, _mm_unpacklo_epi8(a, zero));
        _mm_storeu_si128(o + 1, _mm_unpackhi_epi8(a, zero));
        _mm_storeu_si128(o + 2, _mm_unpacklo_epi8(b, zero));
        _mm_storeu_si128(o + 3, _mm_unpackhi_epi8(b, zero));
        i += 32;
    }
#endif
    while (i + 16 <= n && Widen16(in + i, out + i)) {
        i += 16;
    }
    if (i + 16 <= n) {
        return i + WidenUpTo16(in + i, out + i);
    }
    while (i < n && in[i] < 0x80) {
        out[i] = in[i];
        ++i;
    }
    return i;
}

// The decoders' ASCII step at in[0] (< 0x80): a single byte between
// non-ASCII letters is copied alone (the vector path would only cost there);
// otherwise the whole run is widened. Returns the bytes taken, which equals
// the units written.
inline std::size_t TakeAscii(const std::uint8_t* in, std::size_t n, char16_t* out) {
    if (n > 1 && in[1] >= 0x80) {
        out[0] = in[0];
        return 1;
    }
    return WidenAscii(in, n, out);
}

} // namespace varnolt::ascii
