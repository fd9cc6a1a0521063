// UTF-8 encoder: the block paths must give exactly the bytes of the
// one-unit-at-a-time reference, whatever mix of characters a block holds.
#include "decode/codepage_tables.hpp"
#include "output/utf_encode.hpp"
#include "platform/text_utf.hpp"

#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace varnolt {
namespace {

// Runs of one kind of character, so that blocks come out all ASCII, all two
// bytes, all three bytes, with pairs, and mixed like words and spaces.
std::u16string RandomText(std::mt19937& rng, std::size_t n) {
    std::u16string text;
    while (text.size() < n) {
        const std::size_t run = 1 + rng() % 12;
        const unsigned kind = rng() % 6;
        for (std::size_t k = 0; k < run && text.size() < n; ++k) {
            const unsigned r = rng();
            switch (kind) {
            case 0:
                text += static_cast<char16_t>(r % 0x80);
                break;
            case 1:
                text += static_cast<char16_t>(0x80 + r % 0x780);
                break;
            case 2: // U+0800..U+FFFF without the surrogates
                text += static_cast<char16_t>(r % 2 ? 0x800 + r % 0xD000 : 0xE000 + r % 0x2000);
                break;
            case 3:
                if (text.size() + 2 <= n) {
                    text += static_cast<char16_t>(0xD800 + r % 0x400);
                    text += static_cast<char16_t>(0xDC00 + (r >> 10) % 0x400);
                } else {
                    text += u'x';
                }
                break;
            case 4: // Cyrillic words and spaces
                text += r % 5 == 0 ? u' ' : static_cast<char16_t>(0x410 + r % 0x40);
                break;
            default: // any unit, lone surrogates included
                text += static_cast<char16_t>(r);
                break;
            }
        }
    }
    return text;
}

// Each path of the encoders that this build and processor run, the plain
// one always among them.
std::vector<Utf8EncoderPath> UsablePaths() {
    std::vector<Utf8EncoderPath> paths;
    for (const Utf8EncoderPath path :
         {Utf8EncoderPath::kPlain, Utf8EncoderPath::kSse2, Utf8EncoderPath::kAvx512}) {
        if (CanUseUtf8EncoderPath(path)) {
            paths.push_back(path);
        }
    }
    return paths;
}

const char* PathName(Utf8EncoderPath path) {
    return path == Utf8EncoderPath::kPlain  ? "plain"
           : path == Utf8EncoderPath::kSse2 ? "sse2"
                                            : "avx512";
}

// Encodes through one path into a heap block of exactly MaxUtf8Size bytes,
// so that a store past the guaranteed room shows under the address sanitizer.
std::string Fast(Utf8EncoderPath path, const std::u16string& text) {
    const std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[MaxUtf8Size(text.size())]);
    const std::size_t n = EncodeUtf8On(path, text.data(), text.size(), out.get());
    return std::string(reinterpret_cast<const char*>(out.get()), n);
}

std::string Scalar(const std::u16string& text) {
    const std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[MaxUtf8Size(text.size())]);
    const std::size_t n = EncodeUtf8Scalar(text.data(), text.size(), out.get());
    return std::string(reinterpret_cast<const char*>(out.get()), n);
}

TEST(Utf8EncoderBlocks, MatchReferenceForEveryLengthAndLoneSurrogatePosition) {
    std::mt19937 rng(2026);
    for (std::size_t n = 0; n <= 100; ++n) {
        for (int round = 0; round < 6; ++round) {
            const std::u16string text = RandomText(rng, n);
            const std::string expected = Scalar(text);
            ASSERT_EQ(expected, Utf16ToUtf8(text)) << n << "/" << round;
            for (const Utf8EncoderPath path : UsablePaths()) {
                ASSERT_EQ(Fast(path, text), expected) << PathName(path) << " " << n << "/" << round;
                // A lone half at each position, block edges and the last unit
                // included; one that happens to complete a pair is fine too.
                for (std::size_t at = 0; at < n; ++at) {
                    std::u16string lone = text;
                    lone[at] = static_cast<char16_t>((round % 2 ? 0xD800 : 0xDC00) + rng() % 0x400);
                    ASSERT_EQ(Fast(path, lone), Scalar(lone))
                        << PathName(path) << " " << n << "/" << round << " at " << at;
                }
            }
        }
    }
}

TEST(Utf8EncoderBlocks, MatchReferenceOnLongTexts) {
    std::mt19937 rng(7);
    for (const std::size_t n : {4095u, 8192u, 8199u, 65537u}) {
        const std::u16string text = RandomText(rng, n);
        const std::string expected = Scalar(text);
        ASSERT_EQ(expected, Utf16ToUtf8(text)) << n;
        for (const Utf8EncoderPath path : UsablePaths()) {
            ASSERT_EQ(Fast(path, text), expected) << PathName(path) << " " << n;
        }
    }
}

// Every unit's largest form, side by side with ASCII, two- and three-byte
// units, in each slot of the first blocks.
TEST(Utf8EncoderBlocks, BoundaryValuesInEverySlot) {
    const char16_t edges[] = {0x0000, 0x007F, 0x0080, 0x07FF, 0x0800, 0xD7FF,
                              0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xE000, 0xFFFF};
    for (const char16_t fill : {u'a', u'\u0416', u'\uAC00'}) {
        for (const char16_t edge : edges) {
            for (std::size_t at = 0; at < 80; ++at) {
                std::u16string text(80, fill);
                text[at] = edge;
                for (const Utf8EncoderPath path : UsablePaths()) {
                    ASSERT_EQ(Fast(path, text), Scalar(text))
                        << PathName(path) << " " << std::hex << static_cast<unsigned>(edge)
                        << " at " << std::dec << at;
                }
            }
        }
    }
}

} // namespace
// Maps of the shapes single-byte pages have: high bytes as Latin-1 (a run
// of two-byte units), as letters of another alphabet (a shorter run amid
// punctuation), as three-byte units (a Thai-like run), and scattered units
// with no run at all.
std::u16string ByteUnits(unsigned shape, std::mt19937& rng) {
    std::u16string units(256, u'\0');
    for (unsigned b = 0; b < 256; ++b) {
        const unsigned r = rng();
        units[b] = static_cast<char16_t>(
            b < 0x80     ? b
            : shape == 0 ? (b >= 0xA0 ? b : 0x2010 + b % 0x30)
            : shape == 1 ? (b >= 0xC0 ? 0x410 + (b - 0xC0) : 0xA0 + r % 0x700)
            : shape == 2 ? (b >= 0xA1 && b <= 0xDA ? 0xE01 + (b - 0xA1) : 0x80 + r % 0x780)
                         : (r % 2 ? 0x80 + r % 0x780 : 0x800 + r % 0xD000));
    }
    return units;
}

// Encodes through one path into a heap block of exactly the promised room,
// so that a store past it shows under the address sanitizer.
std::string Mapped(Utf8EncoderPath path, const std::string& bytes, const CByteUtf8Map& map) {
    const std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[MaxUtf8Size(bytes.size()) + 1]);
    const std::size_t used = EncodeMappedUtf8On(
        path, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), map, out.get());
    return std::string(reinterpret_cast<const char*>(out.get()), used);
}

// The reference: the bytes' units, encoded one at a time.
std::string MappedReference(const std::string& bytes, const char16_t* units) {
    std::u16string text(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text[i] = units[static_cast<std::uint8_t>(bytes[i])];
    }
    return Scalar(text);
}

// Random bytes, `highPercent` of them from 0x80 up, none NUL.
std::string RandomBytes(std::mt19937& rng, std::size_t n, unsigned highPercent) {
    std::string bytes(n, '\0');
    for (char& byte : bytes) {
        const bool high = rng() % 100 < highPercent;
        byte = static_cast<char>(high ? 0x80 + rng() % 0x80 : 1 + rng() % 0x7F);
    }
    return bytes;
}

// Mapped bytes encode exactly as their units do on every path, for every
// length across the first blocks and for texts from ASCII-only to nothing
// but high bytes.
TEST(Utf8EncoderBlocks, MappedBytesMatchTheirUnitsOnEveryPath) {
    std::mt19937 rng(1252);
    for (unsigned shape = 0; shape < 4; ++shape) {
        const std::u16string units = ByteUnits(shape, rng);
        CByteUtf8Map map;
        BuildByteUtf8Map(units.data(), map);
        for (const unsigned highPercent : {0u, 3u, 10u, 50u, 100u}) {
            for (std::size_t n = 0; n <= 200; ++n) {
                const std::string bytes = RandomBytes(rng, n, highPercent);
                const std::string expected = MappedReference(bytes, units.data());
                for (const Utf8EncoderPath path : UsablePaths()) {
                    ASSERT_EQ(Mapped(path, bytes, map), expected)
                        << PathName(path) << ", shape " << shape << ", " << highPercent
                        << "% high, " << n << " bytes";
                }
            }
        }
    }
}

// Every page we have, on every path, with every byte value in long texts of
// prose-like and of mostly high bytes.
TEST(Utf8EncoderBlocks, MappedBytesMatchTheirUnitsForEveryPage) {
    std::mt19937 rng(1251);
    for (std::size_t t = 0; t < tables::kSingleByteTableCount; ++t) {
        const tables::SingleByteTable& table = tables::kSingleByteTables[t];
        CByteUtf8Map map;
        BuildByteUtf8Map(table.aMap, map);
        for (const unsigned highPercent : {8u, 60u}) {
            const std::string bytes = RandomBytes(rng, 4099, highPercent);
            const std::string expected = MappedReference(bytes, table.aMap);
            for (const Utf8EncoderPath path : UsablePaths()) {
                ASSERT_EQ(Mapped(path, bytes, map), expected)
                    << PathName(path) << ", page " << table.nCodePage << ", " << highPercent
                    << "% high";
            }
        }
    }
}

// One byte of a given length in each position of a text of another, so that
// a three-byte sequence falls on every block's and slot group's first and
// last byte, beside ASCII, two-byte and three-byte neighbours.
TEST(Utf8EncoderBlocks, MappedSequenceInEveryPosition) {
    std::mt19937 rng(3);
    const std::u16string units = ByteUnits(0, rng); // 0x80..0x9F: three bytes, 0xA0 up: two
    CByteUtf8Map map;
    BuildByteUtf8Map(units.data(), map);
    for (const char fill : {'a', '\xE9', '\x85'}) {
        for (const char odd : {'\x85', '\xE9', '\x7F', '\xFF', '\x80'}) {
            for (std::size_t at = 0; at < 160; ++at) {
                std::string bytes(160, fill);
                bytes[at] = odd;
                const std::string expected = MappedReference(bytes, units.data());
                for (const Utf8EncoderPath path : UsablePaths()) {
                    ASSERT_EQ(Mapped(path, bytes, map), expected)
                        << PathName(path) << ", fill " << +static_cast<std::uint8_t>(fill) << ", "
                        << +static_cast<std::uint8_t>(odd) << " at " << at;
                }
            }
        }
    }
}

// Texts whose every character takes the same length, three bytes above all,
// fill the promised room to its end: at every length the last wide store of
// each path must still fall inside it.
TEST(Utf8EncoderBlocks, TextsOfTheLongestCharactersAtEveryLength) {
    std::mt19937 rng(3);
    const std::u16string units = ByteUnits(0, rng); // 0x80..0x9F: three bytes, 0xA0 up: two
    CByteUtf8Map map;
    BuildByteUtf8Map(units.data(), map);
    for (std::size_t n = 0; n <= 200; ++n) {
        for (const char fill : {'\x85', '\xE9', 'a'}) {
            const std::string bytes(n, fill);
            const std::string expected = MappedReference(bytes, units.data());
            for (const Utf8EncoderPath path : UsablePaths()) {
                ASSERT_EQ(Mapped(path, bytes, map), expected)
                    << PathName(path) << ", " << +static_cast<std::uint8_t>(fill) << " x " << n;
            }
        }
        for (const char16_t fill : {u'\uAC00', u'\u0416', u'a'}) {
            const std::u16string text(n, fill);
            for (const Utf8EncoderPath path : UsablePaths()) {
                ASSERT_EQ(Fast(path, text), Scalar(text))
                    << PathName(path) << ", " << std::hex << static_cast<unsigned>(fill) << std::dec
                    << " x " << n;
            }
        }
    }
}

} // namespace varnolt
