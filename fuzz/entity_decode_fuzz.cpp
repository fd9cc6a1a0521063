// Fuzzes the HTML entity codec: decoding never fails, agrees with a plain
// unit-by-unit reading of the state machine, keeps well-formed text
// well-formed, never makes markup characters, and undoes every encoding.
#include "codecs/html_entity_codec.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace varnolt;

namespace {

// Bit 0 of the first byte: the rest as UTF-16LE pairs, or as bytes widened
// one to one (which reaches the ASCII syntax far more often).
std::u16string TextFrom(const std::uint8_t* data, std::size_t size) {
    std::u16string text;
    if (size == 0) {
        return text;
    }
    const bool pairs = data[0] & 1;
    for (std::size_t i = 1; i < size; i += pairs ? 2 : 1) {
        if (pairs) {
            if (i + 1 < size) {
                text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
            }
        } else {
            text.push_back(static_cast<char16_t>(data[i]));
        }
    }
    return text;
}

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
bool IsHex(char16_t c) {
    return IsDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}
bool IsAlnum(char16_t c) {
    return IsDigit(c) || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// The decoding table read literally, one unit at a time.
std::u16string ReferenceDecode(std::u16string_view text, bool decodeAscii, CHtmlEntityMap& map) {
    std::u16string out;
    std::u16string pending;
    int state = 0;
    auto numeric = [&](unsigned base, std::size_t skip) {
        std::uint64_t value = 0;
        for (std::size_t k = skip; k < pending.size(); ++k) {
            const char16_t c = pending[k];
            const unsigned d = IsDigit(c) ? c - u'0' : (c | 0x20) - u'a' + 10;
            value = value * base + d;
            if (value > 0x7FFFFFFF) {
                value = 0x7FFFFFFF;
            }
        }
        const std::u16string reference = pending + u';';
        if (value < 128) {
            if (!decodeAscii) {
                out += reference;
            } else if (value != 0) {
                out.push_back(static_cast<char16_t>(value));
            }
        } else if (value <= 0xFFFF) {
            if (value >= 0xD800 && value <= 0xDFFF) {
                out += reference;
            } else {
                out.push_back(static_cast<char16_t>(value));
            }
        } else if (value <= 0x10FFFF) {
            out.push_back(HighSurrogate(static_cast<std::uint32_t>(value)));
            out.push_back(LowSurrogate(static_cast<std::uint32_t>(value)));
        } else {
            out += reference;
        }
    };
    for (const char16_t c : text) {
        int next = -1;
        switch (state) {
        case 0:
            if (c == u'&') {
                pending = u"&";
                state = 1;
            } else {
                out.push_back(c);
            }
            continue;
        case 1:
            next = c == u'#' ? 2 : IsAlnum(c) ? 5 : -1;
            break;
        case 2:
            next = IsDigit(c) ? 3 : (c == u'x' || c == u'X') ? 4 : -1;
            break;
        case 3:
            if (c == u';') {
                numeric(10, 2);
                state = 0;
                continue;
            }
            next = IsDigit(c) ? 3 : -1;
            break;
        case 4:
            if (c == u';') {
                numeric(16, 3);
                state = 0;
                continue;
            }
            next = IsHex(c) ? 4 : -1;
            break;
        case 5:
            if (c == u';') {
                std::uint32_t code = 0;
                if (map.FindCode(std::u16string_view(pending).substr(1), code) &&
                    (code >= 128 || decodeAscii)) {
                    out.push_back(static_cast<char16_t>(code));
                } else {
                    out += pending + u';';
                }
                state = 0;
                continue;
            }
            next = IsAlnum(c) ? 5 : -1;
            break;
        }
        if (next < 0) {
            out += pending;
            out.push_back(c);
            state = 0;
        } else {
            pending.push_back(c);
            state = next;
        }
    }
    if (state != 0) {
        out += pending;
    }
    return out;
}

std::size_t Count(std::u16string_view text, char16_t c) {
    std::size_t n = 0;
    for (const char16_t u : text) {
        n += u == c;
    }
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static CHtmlEntityCodec conversion;
    static CHtmlEntityCodec dialog(CHtmlEntityCodec::kDecimal, true, true);
    static CHtmlEntityMap map;
    const std::u16string text = TextFrom(data, size);

    const std::u16string converted = conversion.Decode(text);
    const std::u16string decoded = dialog.Decode(text);
    if (converted != ReferenceDecode(text, false, map) ||
        decoded != ReferenceDecode(text, true, map)) {
        std::abort();
    }
    // In a converted file, escaped markup stays escaped.
    for (const char16_t c : {u'<', u'>', u'"'}) {
        if (Count(converted, c) != Count(text, c)) {
            std::abort();
        }
    }
    if (Count(converted, u'&') > Count(text, u'&')) {
        std::abort();
    }
    if (IsWellFormedUtf16(text)) {
        if (!IsWellFormedUtf16(converted) || !IsWellFormedUtf16(decoded)) {
            std::abort();
        }
        static CHtmlEntityCodec encoders[] = {
            {CHtmlEntityCodec::kDecimal, false, true},
            {CHtmlEntityCodec::kDecimal, true, true},
            {CHtmlEntityCodec::kHexadecimal, false, true},
            {CHtmlEntityCodec::kHexadecimal, true, true},
        };
        for (CHtmlEntityCodec& encoder : encoders) {
            if (dialog.Decode(encoder.Encode(text)) != text) {
                std::abort();
            }
        }
    }
    return 0;
}
