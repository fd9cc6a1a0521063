// The codec interface shared by the HTML entity and Java escape codecs, and the
// UTF-16 helpers both of them use.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace varnolt {

// Text that is not well-formed UTF-16 (an unpaired surrogate).
class CUtfException : public std::exception {
public:
    const char* what() const noexcept override { return "ill-formed UTF-16 text"; }
};

// Turns text into an escaped form (Encode) and back (Decode).
class CUnicodeCodec {
public:
    virtual ~CUnicodeCodec() = default;
    virtual std::u16string Encode(std::u16string_view text) = 0;
    virtual std::u16string Decode(std::u16string_view text) = 0;
};

inline bool IsHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
inline bool IsLowSurrogate(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// The surrogates of a supplementary code point (0x10000 to 0x10FFFF); any
// other value raises CUtfException.
char16_t HighSurrogate(std::uint32_t codePoint);
char16_t LowSurrogate(std::uint32_t codePoint);

// The code point of a high surrogate followed by a low one.
inline std::uint32_t CodePointFromSurrogates(char16_t high, char16_t low) {
    return static_cast<std::uint32_t>(high) * 1024 + low - 0x35FDC00;
}

// False when a low surrogate does not directly follow a high one, or a high
// surrogate is not directly followed by a low one. The whole view is the text:
// a NUL unit is an ordinary unit, so nothing after one escapes the test.
bool IsWellFormedUtf16(std::u16string_view text);

} // namespace varnolt
