// Source guards: foreign byte-order marks, UTF-8 text under a legacy code
// page, binary data; and the description of the first invalid sequence.
#include "decode/source_guards.hpp"

#include "decode/armscii.hpp"
#include "decode/code_page_decoder.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace varnolt {
namespace {

constexpr std::int32_t kUtf16Le = 1200;
constexpr std::int32_t kUtf16Be = 1201;
constexpr std::int32_t kUtf8 = 65001;

// Control characters that text does contain: backspace (overstrike in old
// printer output), tab, line feed, vertical tab, form feed, carriage return,
// the DOS end-of-file mark and escape (terminal colour codes). Every other C0
// control and DEL counts against the file; NUL is judged on its own.
bool IsForeignControl(std::uint32_t c) {
    return (c >= 0x01 && c <= 0x07) || (c >= 0x0E && c <= 0x19) || (c >= 0x1C && c <= 0x1F) ||
           c == 0x7F;
}

// Eight or more, and more than one unit in a hundred: text with a few stray
// ones (a lone DEL, an old printer code) still converts, data does not (in
// random bytes one in ten is such a control).
bool TooManyControls(std::size_t controls, std::size_t units) {
    return controls >= 8 && controls * 100 > units;
}

std::string Hex(std::uint8_t b) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", b);
    return text;
}

std::optional<SourceGuardFinding> CheckBom(std::int32_t codePage, const std::uint8_t* p,
                                           std::size_t n) {
    if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF && codePage != kUtf8) {
        return SourceGuardFinding{SourceGuard::kForeignBom,
                                  "starts with a UTF-8 byte-order mark: it seems to be UTF-8 text"};
    }
    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE && codePage != kUtf16Le) {
        return SourceGuardFinding{
            SourceGuard::kForeignBom,
            "starts with a UTF-16LE byte-order mark: it seems to be UTF-16 little-endian text"};
    }
    if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF && codePage != kUtf16Be) {
        return SourceGuardFinding{
            SourceGuard::kForeignBom,
            "starts with a UTF-16BE byte-order mark: it seems to be UTF-16 big-endian text"};
    }
    return std::nullopt;
}

// Byte encodings: none of them has a NUL byte inside its text. NUL bytes
// that only pad the end of the window are left to the reader, which drops
// them as it always has.
std::optional<SourceGuardFinding> CheckBinaryBytes(const std::uint8_t* p, std::size_t n) {
    const auto* nul = static_cast<const std::uint8_t*>(std::memchr(p, 0, n));
    if (nul != nullptr) {
        const std::uint8_t* end = p + n;
        if (std::any_of(nul, end, [](std::uint8_t b) { return b != 0; })) {
            std::size_t even = 0;
            std::size_t odd = 0;
            for (std::size_t i = 0; i < n; ++i) {
                if (p[i] == 0) {
                    ++((i & 1) != 0 ? odd : even);
                }
            }
            // Text in UTF-16 without a mark: every other byte of its ASCII
            // characters is NUL, on one side only.
            if (odd * 4 > n && even * 8 < odd) {
                return SourceGuardFinding{
                    SourceGuard::kBinary,
                    "has NUL bytes: it seems to be UTF-16 little-endian text without a byte-order "
                    "mark"};
            }
            if (even * 4 > n && odd * 8 < even) {
                return SourceGuardFinding{SourceGuard::kBinary,
                                          "has NUL bytes: it seems to be UTF-16 big-endian text "
                                          "without a byte-order mark"};
            }
            return SourceGuardFinding{SourceGuard::kBinary,
                                      "looks binary: a NUL byte at offset " +
                                          GroupThousands(static_cast<std::size_t>(nul - p))};
        }
    }
    std::size_t controls = 0;
    std::size_t first = n;
    const auto count = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            if (IsForeignControl(p[i])) {
                first = std::min(first, i);
                ++controls;
            }
        }
    };
    std::size_t i = 0;
#if defined(__SSE2__)
    // Most blocks of text hold no byte below 0x20 nor DEL; only the others
    // (line ends, tabs) are looked at byte by byte.
    const __m128i below = _mm_set1_epi8(0x1F);
    const __m128i del = _mm_set1_epi8(0x7F);
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i control =
            _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(v, below), v), _mm_cmpeq_epi8(v, del));
        if (_mm_movemask_epi8(control) != 0) {
            count(i, i + 16);
        }
    }
#endif
    count(i, n);
    if (TooManyControls(controls, n)) {
        return SourceGuardFinding{SourceGuard::kBinary,
                                  "looks binary: " + GroupThousands(controls) +
                                      " control bytes, the first (" + Hex(p[first]) +
                                      ") at offset " + GroupThousands(first)};
    }
    return std::nullopt;
}

// UTF-16 sources: judged by code units in the file's byte order.
std::optional<SourceGuardFinding> CheckBinaryUnits(const std::uint8_t* p, std::size_t n,
                                                   bool bBigEndian) {
    const std::size_t units = n / 2;
    const auto unit = [&](std::size_t i) -> std::uint32_t {
        return bBigEndian ? (p[2 * i] << 8) | p[2 * i + 1] : (p[2 * i + 1] << 8) | p[2 * i];
    };
    std::size_t firstNul = units;
    std::size_t controls = 0;
    std::size_t firstControl = units;
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint32_t u = unit(i);
        if (u == 0) {
            firstNul = std::min(firstNul, i);
        } else {
            if (firstNul < i) {
                return SourceGuardFinding{SourceGuard::kBinary,
                                          "looks binary: a NUL character at offset " +
                                              GroupThousands(2 * firstNul)};
            }
            if (IsForeignControl(u)) {
                firstControl = std::min(firstControl, i);
                ++controls;
            }
        }
    }
    if (TooManyControls(controls, units)) {
        return SourceGuardFinding{SourceGuard::kBinary,
                                  "looks binary: " + GroupThousands(controls) +
                                      " control characters, the first at offset " +
                                      GroupThousands(2 * firstControl)};
    }
    return std::nullopt;
}

// A rough script of a code point, enough to tell whether the letters of one
// word belong together: 0 separates words, 1 joins any word (digits,
// combining marks), 2 is Latin, 3 is CJK (kana, Han and Hangul mix freely),
// anything else names its 128-code-point block.
std::uint32_t ScriptOf(std::uint32_t c) {
    if (c < 0x80) {
        return (c | 0x20) >= 'a' && (c | 0x20) <= 'z' ? 2 : c >= '0' && c <= '9' ? 1 : 0;
    }
    if (c < 0xC0 || c == 0xD7 || c == 0xF7) {
        return 0; // Latin-1 signs
    }
    if (c < 0x2B0 || (c >= 0x1E00 && c < 0x1F00) || (c >= 0x2C60 && c < 0x2C80) ||
        (c >= 0xA720 && c < 0xA800)) {
        return 2;
    }
    if (c < 0x370 || (c >= 0x1AB0 && c < 0x1B00) || (c >= 0x1DC0 && c < 0x1E00) ||
        (c >= 0x200B && c < 0x2010) || (c >= 0xFE00 && c < 0xFE10) || (c >= 0xFE20 && c < 0xFE30)) {
        return 1; // modifier letters, combining marks, joiners, selectors
    }
    if ((c >= 0x2010 && c < 0x2C00) || (c >= 0x2E00 && c < 0x3040) || (c >= 0xFE30 && c < 0xFE70) ||
        (c >= 0xFF00 && c < 0xFF10) || (c >= 0xFF1A && c < 0xFF21)) {
        return 0; // punctuation and symbols, CJK and full-width ones too
    }
    if ((c >= 0x3040 && c < 0xA000) || (c >= 0xAC00 && c < 0xD7B0) || (c >= 0xF900 && c < 0xFB00) ||
        (c >= 0x1100 && c < 0x1200) || (c >= 0xFF00 && c < 0xFFF0) || c >= 0x20000) {
        return 3;
    }
    // Scripts whose letters span more than one block.
    static constexpr struct {
        std::uint32_t nFirst;
        std::uint32_t nEnd;
        std::uint32_t nScript;
    } kScripts[] = {
        {0x370, 0x400, 0x370},    {0x1F00, 0x2000, 0x370}, // Greek
        {0x400, 0x530, 0x400},    {0x1C80, 0x1C90, 0x400},  {0x2DE0, 0x2E00, 0x400},
        {0xA640, 0xA6A0, 0x400},                           // Cyrillic
        {0x530, 0x590, 0x530},    {0xFB13, 0xFB18, 0x530}, // Armenian
        {0x590, 0x600, 0x590},    {0xFB1D, 0xFB50, 0x590}, // Hebrew
        {0x600, 0x700, 0x600},    {0x750, 0x780, 0x600},    {0x8A0, 0x900, 0x600},
        {0xFB50, 0xFE00, 0x600},  {0xFE70, 0xFF00, 0x600},  // Arabic
        {0xF00, 0x1000, 0xF00},                             // Tibetan
        {0x1000, 0x10A0, 0x1000},                           // Myanmar
        {0x10A0, 0x1100, 0x10A0}, {0x2D00, 0x2D30, 0x10A0}, // Georgian
        {0x1200, 0x13A0, 0x1200}, {0x2D80, 0x2DE0, 0x1200}, // Ethiopic
        {0x1400, 0x1680, 0x1400},                           // Canadian syllabics
        {0x1800, 0x18B0, 0x1800},                           // Mongolian
    };
    for (const auto& range : kScripts) {
        if (c >= range.nFirst && c < range.nEnd) {
            return 0x10000 + range.nScript;
        }
    }
    // Elsewhere (the scripts of India and South-East Asia among them) one
    // script per 128-code-point block.
    return 0x100 + (c >> 7);
}

// Scripts whose letters meet in one word in real text: Latin with Greek (the
// Berber alphabets' epsilon and gamma, symbols in technical words), and ASCII
// letters with CJK ones (product names, units); `ascii` is such a letter.
bool Compatible(std::uint32_t a, std::uint32_t b, bool ascii) {
    constexpr std::uint32_t kGreek = 0x10000 + 0x370;
    if (a > b) {
        std::swap(a, b);
    }
    return a == b || (a == 2 && (b == kGreek || (ascii && b == 3)));
}

// True when p[0, n) is well-formed UTF-8 with at least one multi-byte
// character and reads like text: no C1 control character, and at least half
// of the words with a non-ASCII letter keep to one script (ASCII letters may
// stand beside CJK ones, as in product names). Legacy text that happens to be
// well-formed UTF-8 is short and decodes to letters of unrelated scripts side
// by side. A character cut off by the end of the window counts as
// well-formed unless the window is the whole file.
bool IsUtf8Text(const std::uint8_t* p, std::size_t n, bool bWhole) {
    std::size_t multi = 0;
    std::size_t words = 0; // words with a non-ASCII letter
    std::size_t mixed = 0; // of those, words that mix scripts
    std::uint32_t wordScript = 0;
    bool wordAscii = false;
    bool wordMixed = false;
    bool wordCounted = false;
    const auto endWord = [&] {
        mixed += wordMixed ? 1 : 0;
        wordScript = 0;
        wordAscii = wordMixed = wordCounted = false;
    };
    std::size_t i = 0;
    while (i < n) {
        const std::uint8_t b = p[i];
        std::uint32_t c = b;
        std::size_t length = 1;
        if (b >= 0x80) {
            std::uint8_t lo = 0x80;
            std::uint8_t hi = 0xBF;
            if (b >= 0xC2 && b <= 0xDF) {
                length = 2;
                c = b & 0x1F;
            } else if (b >= 0xE0 && b <= 0xEF) {
                length = 3;
                c = b & 0x0F;
                lo = b == 0xE0 ? 0xA0 : 0x80;
                hi = b == 0xED ? 0x9F : 0xBF;
            } else if (b >= 0xF0 && b <= 0xF4) {
                length = 4;
                c = b & 0x07;
                lo = b == 0xF0 ? 0x90 : 0x80;
                hi = b == 0xF4 ? 0x8F : 0xBF;
            } else {
                return false;
            }
            if (i + length > n) {
                if (bWhole) {
                    return false;
                }
                // Cut off by the window: judge the bytes it holds.
                for (std::size_t k = i + 1; k < n; ++k) {
                    if ((p[k] & 0xC0) != 0x80) {
                        return false;
                    }
                }
                break;
            }
            for (std::size_t k = 1; k < length; ++k) {
                const std::uint8_t next = p[i + k];
                if (k == 1 ? (next < lo || next > hi) : (next & 0xC0) != 0x80) {
                    return false;
                }
                c = (c << 6) | (next & 0x3F);
            }
            if (c < 0xA0) {
                return false; // a C1 control character
            }
            ++multi;
        }
        i += length;
        const std::uint32_t script = ScriptOf(c);
        if (script == 0) {
            endWord();
        } else if (c < 0x80) {
            if (script == 2) {
                wordAscii = true;
                wordMixed = wordMixed || (wordScript != 0 && !Compatible(wordScript, 2, true));
            }
        } else if (script != 1) {
            if (!wordCounted) {
                ++words;
                wordCounted = true;
            }
            if (wordScript == 0) {
                wordScript = script;
            }
            wordMixed = wordMixed || !Compatible(script, wordScript, false) ||
                        (wordAscii && !Compatible(script, 2, true));
        }
    }
    endWord();
    return multi > 0 && mixed * 2 <= words;
}

} // namespace

std::optional<SourceGuardFinding>
CheckSourceGuards(std::int32_t codePage, const std::uint8_t* bytes, std::size_t n, bool bWhole) {
    const std::size_t window = std::min(n, kGuardWindow);
    bWhole = bWhole && window == n;
    if (auto bom = CheckBom(codePage, bytes, window)) {
        return bom;
    }
    if (codePage == kUtf16Le || codePage == kUtf16Be) {
        return CheckBinaryUnits(bytes, window, codePage == kUtf16Be);
    }
    if (auto binary = CheckBinaryBytes(bytes, window)) {
        return binary;
    }
    // Every other catalogued encoding is a legacy one: its text is valid
    // UTF-8 only by accident, which takes ASCII alone (fine to convert) or
    // an unusual run of high bytes, while real UTF-8 text converted from a
    // code page comes out double-encoded.
    if (codePage != kUtf8 && IsUtf8Text(bytes, window, bWhole)) {
        return SourceGuardFinding{SourceGuard::kUtf8Text,
                                  "is valid UTF-8 with non-ASCII characters: it seems to be UTF-8 "
                                  "text"};
    }
    return std::nullopt;
}

std::optional<std::pair<std::size_t, std::size_t>> FindInvalidSequence(std::int32_t codePage,
                                                                       const std::uint8_t* bytes,
                                                                       std::size_t n,
                                                                       const CDecoderState& state) {
    const bool bStrict = UsesStrictFlag(codePage);
    CDecoderState running = state;
    char16_t out[64];
    std::size_t i = 0;
    while (i < n) {
        const std::uint8_t b = bytes[i];
        std::size_t length = 1;
        if (codePage == kUtf8) {
            length = b >= 0xC0 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 ? 4 : 1;
        } else if (IsDBCSLeadByteEx(codePage, b)) {
            length = 2;
        }
        length = std::min(length, n - i);
        DecodeError error = DecodeError::kNone;
        if (codePage == kArmsciiCodePage) {
            char one[5] = {};
            std::memcpy(one, bytes + i, length);
            ArmsciiToWideChar(codePage, one, out, std::size(out), error);
        } else {
            MultiByteToWideChar(codePage, bStrict, bytes + i, length, false, running, out,
                                std::size(out), error);
        }
        if (error == DecodeError::kNoUnicodeTranslation) {
            return std::make_pair(i, length);
        }
        i += length;
    }
    return std::nullopt;
}

std::string DescribeInvalidSequence(std::uint64_t offset, const std::uint8_t* bytes,
                                    std::size_t n) {
    std::string text = "invalid byte sequence";
    for (std::size_t i = 0; i < n; ++i) {
        text += ' ';
        text += Hex(bytes[i]);
    }
    return text + " at offset " + GroupThousands(offset);
}

std::string GroupThousands(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (std::size_t at = digits.size(); at > 3; at -= 3) {
        digits.insert(at - 3, ",");
    }
    return digits;
}

} // namespace varnolt
