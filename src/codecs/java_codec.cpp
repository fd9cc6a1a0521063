// Java \uXXXX escapes: encoding and the decoding state machine.
#include "codecs/java_codec.hpp"

namespace varnolt {

namespace {

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    return -1;
}

} // namespace

std::u16string CJavaCodec::Encode(std::u16string_view text) {
    if (!IsWellFormedUtf16(text)) {
        throw CUtfException();
    }
    static constexpr char16_t kHex[] = u"0123456789abcdef";
    std::u16string out;
    out.reserve(text.size());
    for (const char16_t u : text) {
        if (u < 256) {
            out.push_back(u);
        } else {
            const char16_t escape[6] = {
                u'\\',        u'u', kHex[u >> 12], kHex[(u >> 8) & 0xF], kHex[(u >> 4) & 0xF],
                kHex[u & 0xF]};
            out.append(escape, 6);
        }
    }
    return out;
}

std::u16string CJavaCodec::Decode(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    // State 0: text; 1: after the backslash; 2: after "\u"; 3 to 5: after
    // one to three digits. The escape read so far is text[start, i).
    int state = 0;
    std::size_t start = 0;
    unsigned value = 0;
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const char16_t c = text[i];
        if (state == 0) {
            const std::size_t slash = text.find(u'\\', i);
            const std::size_t end = slash == std::u16string_view::npos ? n : slash;
            out.append(text.substr(i, end - i));
            if (end == n) {
                break;
            }
            start = end;
            state = 1;
            i = end + 1;
            continue;
        }
        if (state == 1 && c == u'u') {
            state = 2;
            value = 0;
        } else if (state >= 2 && HexValue(c) >= 0) {
            value = value * 16 + static_cast<unsigned>(HexValue(c));
            if (state == 5) {
                out.push_back(static_cast<char16_t>(value));
                state = 0;
                ++i;
                continue;
            }
            ++state;
        } else {
            // Not an escape after all: the pending text and this unit as written.
            out.append(text.substr(start, i + 1 - start));
            state = 0;
        }
        ++i;
    }
    if (state != 0) {
        out.append(text.substr(start));
    }
    if (!IsWellFormedUtf16(out)) {
        throw CUtfException();
    }
    return out;
}

} // namespace varnolt
