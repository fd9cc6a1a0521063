// UTF-8 (65001) to UTF-16, strict as on current systems.
#include "decode/ascii.hpp"
#include "decode/decoders.hpp"

namespace varnolt {

namespace {

// Length of the well-formed sequence at in[0, n), or 0 when it is ill-formed.
// On success `cp` receives the code point.
std::size_t DecodeSequence(const std::uint8_t* in, std::size_t n, std::uint32_t& cp) {
    const std::uint8_t b = in[0];
    std::size_t length;
    std::uint8_t lo = 0x80;
    std::uint8_t hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        cp = b & 0x0F;
        lo = b == 0xE0 ? 0xA0 : 0x80; // no overlongs
        hi = b == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        cp = b & 0x07;
        lo = b == 0xF0 ? 0x90 : 0x80; // no overlongs
        hi = b == 0xF4 ? 0x8F : 0xBF; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (n < length || in[1] < lo || in[1] > hi) {
        return 0;
    }
    cp = (cp << 6) | (in[1] & 0x3F);
    for (std::size_t k = 2; k < length; ++k) {
        if ((in[k] & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (in[k] & 0x3F);
    }
    return length;
}

} // namespace

DecodeError CUtf8Decoder::Decode(const std::uint8_t* in, std::size_t n, bool, bool bStrict,
                                 CDecoderState&, char16_t* out, std::size_t& nOut) const {
    std::size_t i = 0;
    std::size_t o = 0;
    while (i < n) {
        const std::uint8_t b = in[i];
        if (b < 0x80) {
            const std::size_t run = ascii::TakeAscii(in + i, n - i, out + o);
            i += run;
            o += run;
            continue;
        }
        // Two-byte sequences (Latin, Greek, Cyrillic, ...) without the general path.
        if (b >= 0xC2 && b <= 0xDF && i + 1 < n && (in[i + 1] & 0xC0) == 0x80) {
            out[o++] = static_cast<char16_t>(((b & 0x1F) << 6) | (in[i + 1] & 0x3F));
            i += 2;
            continue;
        }
        // Three-byte sequences outside E0 and ED (which have narrower second bytes).
        if (b >= 0xE1 && b <= 0xEF && b != 0xED && i + 2 < n && (in[i + 1] & 0xC0) == 0x80 &&
            (in[i + 2] & 0xC0) == 0x80) {
            out[o++] = static_cast<char16_t>(((b & 0x0F) << 12) | ((in[i + 1] & 0x3F) << 6) |
                                             (in[i + 2] & 0x3F));
            i += 3;
            continue;
        }
        std::uint32_t cp = 0;
        const std::size_t length = DecodeSequence(in + i, n - i, cp);
        if (length == 0) {
            if (bStrict) {
                return DecodeError::kNoUnicodeTranslation;
            }
            out[o++] = 0xFFFD;
            ++i;
            continue;
        }
        i += length;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out[o++] = static_cast<char16_t>(0xD800 + (cp >> 10));
            out[o++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out[o++] = static_cast<char16_t>(cp);
        }
    }
    nOut = o;
    return DecodeError::kNone;
}

} // namespace varnolt
