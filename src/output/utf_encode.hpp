// UTF-16 to UTF-8 and to UTF-16 big-endian: the writer's two encoding kernels.
#pragma once

#include <cstddef>
#include <cstdint>

namespace varnolt {

// Bytes enough for the UTF-8 form of n UTF-16 units (3 per unit at most).
constexpr std::size_t MaxUtf8Size(std::size_t units) {
    return units * 3;
}

// Encodes n units into dst (at least MaxUtf8Size(n) bytes) and returns the
// byte count. A surrogate pair becomes one 4-byte sequence; an unpaired
// surrogate becomes U+FFFD (EF BF BD). Works in blocks of 8 or 16 units and
// may write scratch bytes anywhere in the MaxUtf8Size(n) room, past the
// returned count included.
std::size_t EncodeUtf8(const char16_t* src, std::size_t n, std::uint8_t* dst);

// The same result, one unit at a time: the reference the fast path is
// tested against.
std::size_t EncodeUtf8Scalar(const char16_t* src, std::size_t n, std::uint8_t* dst);

// Writes the n units with their two bytes swapped (native little-endian
// order becomes big-endian and back).
void SwapUtf16Bytes(const char16_t* src, std::size_t n, char16_t* dst);

} // namespace varnolt
