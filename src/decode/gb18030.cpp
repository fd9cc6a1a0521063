// GB18030 (54936): one byte, two bytes by table, four bytes by ranges and formula.
//
// Malformed input is split into pieces as ICU does (the reference for this
// code page), each piece one U+FFFD without the strict flag.
#include "decode/ascii.hpp"
#include "decode/decoders.hpp"

#include <algorithm>
#include <array>

namespace varnolt {

namespace {

constexpr std::uint32_t kBmpFourByteEnd = 39420;      // index of 0x8431A530
constexpr std::uint32_t kSupplementaryStart = 189000; // index of 0x90308130

// The column of a trail byte in the two-byte table (0x40-0x7E, 0x80-0xFE).
constexpr std::uint8_t kNotTrail = 0xFF;
constexpr auto kTrailColumn = [] {
    std::array<std::uint8_t, 256> column{};
    for (unsigned t = 0; t < 256; ++t) {
        column[t] = t >= 0x40 && t <= 0x7E   ? static_cast<std::uint8_t>(t - 0x40)
                    : t >= 0x80 && t <= 0xFE ? static_cast<std::uint8_t>(t - 0x41)
                                             : kNotTrail;
    }
    return column;
}();

bool IsLead(std::uint8_t b) {
    return b >= 0x81 && b <= 0xFE;
}
bool IsDigit(std::uint8_t b) {
    return b >= 0x30 && b <= 0x39;
}
bool IsTrail(std::uint8_t b) {
    return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

char16_t BmpFromIndex(std::uint32_t index) {
    const tables::Gb18030Range* begin = tables::kGb18030Ranges;
    const tables::Gb18030Range* end = begin + tables::kGb18030RangeCount;
    const auto* next =
        std::upper_bound(begin, end, index, [](std::uint32_t i, const tables::Gb18030Range& r) {
            return i < r.nIndex;
        });
    const tables::Gb18030Range& range = *(next - 1);
    return static_cast<char16_t>(range.nFirst + (index - range.nIndex));
}

} // namespace

DecodeError CGb18030Decoder::Decode(const std::uint8_t* in, std::size_t n, bool, bool bStrict,
                                    CDecoderState&, char16_t* out, std::size_t& nOut) const {
    std::size_t i = 0;
    std::size_t o = 0;
    while (i < n) {
        const std::uint8_t b = in[i];
        // The common case first: a two-byte character.
        if (b >= 0x81 && b <= 0xFE && i + 1 < n) {
            const unsigned column = kTrailColumn[in[i + 1]];
            if (column != kNotTrail) {
                out[o++] = tables::kGb18030Pairs[(b - 0x81) * 190 + column];
                i += 2;
                continue;
            }
        }
        if (b < 0x80) {
            const std::size_t run = ascii::TakeAscii(in + i, n - i, out + o);
            i += run;
            o += run;
            continue;
        }
        std::size_t bad = 0; // bytes of a malformed piece, 0 when the character decodes
        if (!IsLead(b)) {
            bad = 1;
        } else if (i + 1 == n) {
            bad = 1; // truncated
        } else if (IsTrail(in[i + 1])) {
            const std::uint8_t t = in[i + 1];
            out[o++] = tables::kGb18030Pairs[(b - 0x81) * 190 + (t - 0x40) - (t > 0x7F ? 1 : 0)];
            i += 2;
            continue;
        } else if (IsDigit(in[i + 1])) {
            if (i + 2 == n || (IsLead(in[i + 2]) && i + 3 == n)) {
                bad = n - i; // truncated: the whole rest is one piece
            } else if (!IsLead(in[i + 2]) || !IsDigit(in[i + 3])) {
                bad = 1; // only the lead; decoding resumes at the digit
            } else {
                const std::uint32_t index =
                    (((b - 0x81u) * 10 + (in[i + 1] - 0x30u)) * 126 + (in[i + 2] - 0x81u)) * 10 +
                    (in[i + 3] - 0x30u);
                if (index < kBmpFourByteEnd) {
                    out[o++] = BmpFromIndex(index);
                    i += 4;
                    continue;
                }
                if (index >= kSupplementaryStart && index - kSupplementaryStart <= 0xFFFFF) {
                    const std::uint32_t v = index - kSupplementaryStart;
                    out[o++] = static_cast<char16_t>(0xD800 + (v >> 10));
                    out[o++] = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
                    i += 4;
                    continue;
                }
                bad = 4; // well-formed but unassigned
            }
        } else {
            bad = in[i + 1] == 0xFF ? 2 : 1;
        }
        if (bStrict) {
            return DecodeError::kNoUnicodeTranslation;
        }
        out[o++] = 0xFFFD;
        i += bad;
    }
    nOut = o;
    return DecodeError::kNone;
}

} // namespace varnolt
