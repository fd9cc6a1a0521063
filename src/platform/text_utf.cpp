// Small, lenient UTF-8 <-> UTF-16 helpers for paths, settings and messages.
#include "platform/text_utf.hpp"

#include <cstdint>

namespace varnolt {
namespace {

// Decodes one scalar at text[i]; returns its length, or 0 for an ill-formed
// sequence (the caller then skips one byte).
std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t& out) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        out = b0;
        return 1;
    }
    std::size_t len;
    char32_t cp;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    out = cp;
    return len;
}

} // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const std::size_t len = DecodeUtf8(text, i, cp);
        if (len == 0) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

bool IsWellFormedUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const std::size_t len = DecodeUtf8(text, i, cp);
        if (len == 0) {
            return false;
        }
        i += len;
    }
    return true;
}

} // namespace varnolt

namespace varnolt {

std::string EscapeForDisplay(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const std::size_t len = DecodeUtf8(text, i, cp);
        if (len == 0) {
            // A byte that is not part of well-formed UTF-8: shown by value.
            const auto b = static_cast<unsigned char>(text[i]);
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
            ++i;
            continue;
        }
        switch (cp) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (cp < 0x20 || cp == 0x7F) {
                out += "\\x";
                out += kHex[cp >> 4];
                out += kHex[cp & 0xF];
            } else if ((cp >= 0x80 && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029) {
                // C1 controls and the Unicode line and paragraph separators
                // end lines for some readers.
                out += "\\u";
                for (int shift = 12; shift >= 0; shift -= 4) {
                    out += kHex[(cp >> shift) & 0xF];
                }
            } else {
                out.append(text.substr(i, len));
            }
            break;
        }
        i += len;
    }
    return out;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace varnolt
