// The ASCII fast path shared by the decoders and the reader: ASCII runs dominate real text.
#pragma once

#include <cstddef>
#include <cstdint>

namespace varnolt::ascii {

// Widens the leading ASCII bytes (below 0x80) of `in` into UTF-16 units and
// returns how many there were; stops at the first other byte.
std::size_t WidenPrefix(const std::uint8_t* in, std::size_t n, char16_t* out);

// The plain loop that WidenPrefix must agree with (kept for the tests).
std::size_t WidenPrefixScalar(const std::uint8_t* in, std::size_t n, char16_t* out);

// Length of the leading run of bytes 0x01-0x7F (ASCII without NUL).
std::size_t NonNulAsciiPrefix(const std::uint8_t* in, std::size_t n);

// The plain loop that NonNulAsciiPrefix must agree with.
std::size_t NonNulAsciiPrefixScalar(const std::uint8_t* in, std::size_t n);

// Widens exactly 16 bytes when all of them are ASCII; false (nothing written) otherwise.
bool Widen16(const std::uint8_t* in, char16_t* out);

} // namespace varnolt::ascii
