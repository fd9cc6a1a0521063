// Fuzzes the writer's UTF-8 encoder: every path the processor runs must
// equal the scalar reference (itself held to the independent lenient
// encoder) on any UTF-16 input, and the encoding of single-byte text
// straight from its bytes must equal the reference's encoding of the bytes'
// units on every path too.
#include "output/utf_encode.hpp"
#include "platform/text_utf.hpp"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

// Raw bytes seldom make ASCII or two-byte units, so half the inputs are read
// one byte per unit: the low bits pick a kind of character, the rest a value.
std::u16string Units(const std::uint8_t* data, std::size_t size) {
    std::u16string text;
    if (size > 0 && (data[0] & 1) != 0) {
        for (std::size_t i = 1; i < size; ++i) {
            const unsigned v = data[i] >> 3;
            switch (data[i] & 7) {
            case 0:
            case 1:
                text += static_cast<char16_t>(0x20 + v);
                break;
            case 2:
            case 3:
                text += static_cast<char16_t>(0x400 + v);
                break;
            case 4:
                text += static_cast<char16_t>(v % 2 ? 0x7E0 + v : 0x80 + v);
                break;
            case 5:
                text += static_cast<char16_t>(v % 2 ? 0xAC00 + v * 97 : 0xFFE0 + v);
                break;
            case 6:
                text += static_cast<char16_t>(0xD800 + v * 33);
                break;
            default:
                text += static_cast<char16_t>(0xDC00 + v * 33);
                break;
            }
        }
    } else {
        text.resize(size / 2);
        std::memcpy(text.data(), data, text.size() * 2);
    }
    return text;
}

// A single-byte page's units of one of three shapes, picked by `shape`:
// Latin-1 above 0x80 (two-byte run), letters of another alphabet from 0xC0
// with scattered punctuation below, or scattered units of up to three bytes.
void PageUnits(std::uint8_t shape, char16_t* units) {
    for (unsigned b = 0; b < 256; ++b) {
        const unsigned hash = (b * 2654435761u + shape) >> 7;
        units[b] =
            static_cast<char16_t>(b < 0x80         ? b
                                  : shape % 3 == 0 ? b
                                  : shape % 3 == 1 ? (b >= 0xC0 ? 0x410 + b - 0xC0 : 0x2000 + b)
                                  : hash % 2 == 0  ? 0x80 + hash % 0x780
                                                   : 0x800 + hash % 0xD000);
    }
}

constexpr varnolt::Utf8EncoderPath kPaths[] = {varnolt::Utf8EncoderPath::kPlain,
                                               varnolt::Utf8EncoderPath::kSse2,
                                               varnolt::Utf8EncoderPath::kAvx512};

void CheckMapped(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return;
    }
    char16_t units[256];
    PageUnits(data[0], units);
    varnolt::CByteUtf8Map map;
    varnolt::BuildByteUtf8Map(units, map);
    const std::uint8_t* bytes = data + 1;
    const std::size_t n = size - 1;
    std::u16string text(n, u'\0');
    for (std::size_t i = 0; i < n; ++i) {
        text[i] = units[bytes[i]];
    }
    const std::size_t room = varnolt::MaxUtf8Size(n);
    const std::unique_ptr<std::uint8_t[]> scalar(new std::uint8_t[room]);
    const std::size_t nScalar = varnolt::EncodeUtf8Scalar(text.data(), n, scalar.get());
    for (const varnolt::Utf8EncoderPath path : kPaths) {
        if (!varnolt::CanUseUtf8EncoderPath(path)) {
            continue;
        }
        const std::unique_ptr<std::uint8_t[]> mapped(new std::uint8_t[room + 1]);
        const std::size_t nMapped = varnolt::EncodeMappedUtf8On(path, bytes, n, map, mapped.get());
        if (nMapped != nScalar || std::memcmp(mapped.get(), scalar.get(), nMapped) != 0) {
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::u16string text = Units(data, size);
    // Exactly the promised room, so that a wide store past it is caught.
    const std::size_t room = varnolt::MaxUtf8Size(text.size());
    const std::unique_ptr<std::uint8_t[]> scalar(new std::uint8_t[room]);
    const std::size_t nScalar = varnolt::EncodeUtf8Scalar(text.data(), text.size(), scalar.get());
    if (varnolt::Utf16ToUtf8(text) !=
        std::string(reinterpret_cast<const char*>(scalar.get()), nScalar)) {
        std::abort();
    }
    for (const varnolt::Utf8EncoderPath path : kPaths) {
        if (!varnolt::CanUseUtf8EncoderPath(path)) {
            continue;
        }
        const std::unique_ptr<std::uint8_t[]> fast(new std::uint8_t[room]);
        const std::size_t nFast = varnolt::EncodeUtf8On(path, text.data(), text.size(), fast.get());
        if (nFast != nScalar || std::memcmp(fast.get(), scalar.get(), nFast) != 0) {
            std::abort();
        }
    }
    CheckMapped(data, size);
    return 0;
}
