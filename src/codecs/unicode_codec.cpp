// Surrogate arithmetic and the UTF-16 well-formedness test of the codecs.
#include "codecs/unicode_codec.hpp"

namespace varnolt {

namespace {

void RequireSupplementary(std::uint32_t codePoint) {
    if (codePoint < 0x10000 || codePoint > 0x10FFFF) {
        throw CUtfException();
    }
}

} // namespace

char16_t HighSurrogate(std::uint32_t codePoint) {
    RequireSupplementary(codePoint);
    return static_cast<char16_t>(codePoint / 1024 + 0xD7C0);
}

char16_t LowSurrogate(std::uint32_t codePoint) {
    RequireSupplementary(codePoint);
    return static_cast<char16_t>((codePoint & 0x3FF) | 0xDC00);
}

bool IsWellFormedUtf16(std::u16string_view text) {
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t u = text[i];
        if (IsLowSurrogate(u)) {
            return false;
        }
        if (IsHighSurrogate(u)) {
            if (i + 1 >= n || !IsLowSurrogate(text[i + 1])) {
                return false;
            }
            ++i;
        }
    }
    return true;
}

} // namespace varnolt
