// ArmSCII-8: bytes below 0xA0 as themselves, the rest through a fixed table.
#include "decode/armscii.hpp"

#include <cstring>

namespace varnolt {

namespace {

constexpr char16_t kPunctuation[0x12] = {
    0x00A0, 0x00A1, 0x0587, 0x0589, 0x0029, 0x0028, 0x00BB, 0x00AB, 0x2015,
    0x2024, 0x055D, 0x002C, 0x2010, 0x058A, 0x2026, 0x055C, 0x055B, 0x055E,
};

} // namespace

char16_t ArmsciiUnit(std::uint8_t byte) {
    if (byte < 0xA0) {
        return byte;
    }
    if (byte < 0xB2) {
        return kPunctuation[byte - 0xA0];
    }
    if (byte < 0xFE) {
        // Capital and small letters alternate: 0xB2 + 2k and 0xB3 + 2k.
        const unsigned k = (byte - 0xB2u) / 2;
        return static_cast<char16_t>(((byte - 0xB2u) % 2 == 0 ? 0x0531 : 0x0561) + k);
    }
    return byte == 0xFE ? u'\u055A' : u'\u00FF';
}

std::size_t ArmsciiToWideChar(std::int32_t codePage, const char* in, char16_t* out,
                              std::size_t capacity, DecodeError& error) {
    error = DecodeError::kNone;
    if (in == nullptr) {
        error = DecodeError::kInvalidParameter;
        return 0;
    }
    const std::size_t count = std::strlen(in) + 1;
    if (capacity == 0) {
        return count;
    }
    if (capacity < count || out == nullptr) {
        error = DecodeError::kInsufficientBuffer;
        return 0;
    }
    if (codePage != kArmsciiCodePage) {
        error = DecodeError::kInvalidParameter;
        return 0;
    }
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = ArmsciiUnit(static_cast<std::uint8_t>(in[i]));
    }
    return count;
}

} // namespace varnolt
