// ArmSCII-8 (pseudo code page 59999), which the platform layer does not know.
#pragma once

#include "decode/code_page_decoder.hpp"

#include <cstddef>
#include <cstdint>

namespace varnolt {

inline constexpr std::int32_t kArmsciiCodePage = 59999;

// Decodes the NUL-terminated `in`, terminator included, one unit per byte,
// with the contract of MultiByteToWideChar: a null input or another code page
// is kInvalidParameter; a capacity of 0 returns the units needed; a smaller
// capacity or a null output is kInsufficientBuffer. Returns the units written
// (terminator included), or 0 with the reason in `error`.
std::size_t ArmsciiToWideChar(std::int32_t codePage, const char* in, char16_t* out,
                              std::size_t capacity, DecodeError& error);

// The unit of one byte.
char16_t ArmsciiUnit(std::uint8_t byte);

} // namespace varnolt
