// Small helpers shared by the decoder tests: decoding in one piece or in pieces.
#pragma once

#include "decode/code_page_decoder.hpp"

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace varnolt::test {

struct Decoded {
    bool bOk = true;
    std::u16string text;
};

// Decodes `bytes` through the code-page layer, cut at the given offsets, with
// the state carried from piece to piece; the last piece ends the text.
inline Decoded DecodePieces(std::int32_t codePage, const std::string& bytes,
                            std::vector<std::size_t> cuts, bool bStrict) {
    cuts.push_back(bytes.size());
    Decoded result;
    CDecoderState state;
    std::size_t start = 0;
    std::vector<char16_t> out;
    for (std::size_t k = 0; k < cuts.size(); ++k) {
        const std::size_t end = cuts[k];
        out.assign(2 * (end - start) + 16, u'\0');
        DecodeError error = DecodeError::kNone;
        const std::size_t n = MultiByteToWideChar(
            codePage, bStrict, reinterpret_cast<const std::uint8_t*>(bytes.data()) + start,
            end - start, k + 1 == cuts.size(), state, out.data(), out.size(), error);
        if (error != DecodeError::kNone) {
            result.bOk = false;
            return result;
        }
        result.text.append(out.data(), n);
        start = end;
    }
    return result;
}

inline Decoded DecodeWhole(std::int32_t codePage, const std::string& bytes, bool bStrict) {
    return DecodePieces(codePage, bytes, {}, bStrict);
}

// Sorted random cut offsets within [0, size].
inline std::vector<std::size_t> RandomCuts(std::mt19937& rng, std::size_t size, int count) {
    std::vector<std::size_t> cuts;
    std::uniform_int_distribution<std::size_t> pos(0, size);
    for (int k = 0; k < count; ++k) {
        cuts.push_back(pos(rng));
    }
    std::sort(cuts.begin(), cuts.end());
    return cuts;
}

inline std::string HexOf(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
        out += ' ';
    }
    return out;
}

// The GB18030 four-byte sequence with that linear index.
inline std::string FourBytes(std::uint32_t index) {
    std::string s(4, '\0');
    s[3] = static_cast<char>(0x30 + index % 10);
    index /= 10;
    s[2] = static_cast<char>(0x81 + index % 126);
    index /= 126;
    s[1] = static_cast<char>(0x30 + index % 10);
    index /= 10;
    s[0] = static_cast<char>(0x81 + index);
    return s;
}

} // namespace varnolt::test
