// Fuzzes the Java escape codec: decoding either refuses an ill-formed result
// or returns well-formed text no longer than its input, and decoding undoes
// encoding for text without backslashes.
#include "codecs/java_codec.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace varnolt;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Bit 0 of the first byte: the rest as UTF-16LE pairs, or bytes widened.
    std::u16string text;
    const bool pairs = size > 0 && (data[0] & 1);
    for (std::size_t i = 1; i < size; i += pairs ? 2 : 1) {
        if (!pairs) {
            text.push_back(static_cast<char16_t>(data[i]));
        } else if (i + 1 < size) {
            text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
        }
    }
    CJavaCodec codec;
    try {
        const std::u16string decoded = codec.Decode(text);
        if (!IsWellFormedUtf16(decoded) || decoded.size() > text.size()) {
            std::abort();
        }
    } catch (const CUtfException&) {
    }
    std::u16string plain;
    for (const char16_t c : text) {
        if (c != u'\\') {
            plain.push_back(c);
        }
    }
    bool wellFormed = IsWellFormedUtf16(plain);
    try {
        const std::u16string encoded = codec.Encode(plain);
        for (const char16_t c : encoded) {
            if (c >= 256) {
                std::abort();
            }
        }
        if (!wellFormed || codec.Decode(encoded) != plain) {
            std::abort();
        }
    } catch (const CUtfException&) {
        if (wellFormed) {
            std::abort();
        }
    }
    return 0;
}
