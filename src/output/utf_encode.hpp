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
// surrogate becomes U+FFFD (EF BF BD). Works in blocks of 8 to 32 units and
// may write scratch bytes anywhere in the MaxUtf8Size(n) room, past the
// returned count included.
std::size_t EncodeUtf8(const char16_t* src, std::size_t n, std::uint8_t* dst);

// The same result, one unit at a time: the reference the fast path is
// tested against.
std::size_t EncodeUtf8Scalar(const char16_t* src, std::size_t n, std::uint8_t* dst);

// The UTF-8 form of every byte of a single-byte code page, so that its text
// can be encoded straight from the bytes, without the UTF-16 step between.
struct CByteUtf8Map {
    // The sequence's bytes in memory order, then its length in the last byte.
    std::uint8_t aEntry[256][4];
    // The longest stretch of bytes from 0x80 up that maps to consecutive
    // units (a page's accented or non-Latin letters): nRunLength bytes from
    // nRunFirst map from chRunBase on. Text of ASCII and these bytes is
    // encoded eight bytes at a time; 0 when the page has no such stretch.
    std::uint8_t nRunFirst = 0;
    unsigned nRunLength = 0;
    char16_t chRunBase = 0;
    // The sequences of bytes 0x80 to 0xFF again, one plane per sequence byte
    // so that 64 bytes are looked up at once: aHighPlane[p][b - 0x80] is byte
    // p of b's sequence, 0 past its end (no sequence byte but NUL is 0).
    std::uint8_t aHighPlane[3][128];
};

// Fills the map from the page's unit for each byte. Every unit must be a BMP
// character other than a surrogate; bytes below 0x80 must map to themselves.
void BuildByteUtf8Map(const char16_t* units, CByteUtf8Map& map);

// Encodes n bytes through the map into dst (at least MaxUtf8Size(n) + 1
// bytes) and returns the byte count: the same bytes as EncodeUtf8 of the
// mapped units. May write scratch bytes past the returned count.
std::size_t EncodeMappedUtf8(const std::uint8_t* src, std::size_t n, const CByteUtf8Map& map,
                             std::uint8_t* dst);

// The instruction sets EncodeUtf8 and EncodeMappedUtf8 have a path for,
// plainest first. Both take the best one the processor runs, chosen once;
// the others stay reachable so that tests hold each to the same bytes.
enum class Utf8EncoderPath { kPlain, kSse2, kAvx512 };

// True when this build has the path and the processor runs it.
bool CanUseUtf8EncoderPath(Utf8EncoderPath path);

// EncodeUtf8 and EncodeMappedUtf8 through the given path, under the same
// contracts; a path that CanUseUtf8EncoderPath refuses falls back to the
// plain one.
std::size_t EncodeUtf8On(Utf8EncoderPath path, const char16_t* src, std::size_t n,
                         std::uint8_t* dst);
std::size_t EncodeMappedUtf8On(Utf8EncoderPath path, const std::uint8_t* src, std::size_t n,
                               const CByteUtf8Map& map, std::uint8_t* dst);

// Writes the n units with their two bytes swapped (native little-endian
// order becomes big-endian and back).
void SwapUtf16Bytes(const char16_t* src, std::size_t n, char16_t* dst);

} // namespace varnolt
