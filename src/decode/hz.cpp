// HZ (52936): ASCII and GB modes switched by ~{ and ~}, pairs from code page 936.
//
// The reference for this code page is ICU; malformed input is split into
// pieces as ICU does, each piece one U+FFFD without the strict flag. The mode,
// a pending '~' and a pending first byte of a pair are kept in the state, so a
// file decodes the same however its chunks fall.
#include "decode/decoders.hpp"

namespace varnolt {

namespace {

// Bits of CDecoderState::nMode.
constexpr std::uint32_t kGbMode = 1;       // inside ~{ ... ~}
constexpr std::uint32_t kTilde = 2;        // a '~' was read, its partner not yet
constexpr std::uint32_t kEmptySegment = 4; // an escape just switched the mode
constexpr std::uint32_t kHaveLead = 8;     // GB mode: aPending[0] holds a first byte

} // namespace

DecodeError CHzDecoder::Decode(const std::uint8_t* in, std::size_t n, bool bFinal, bool bStrict,
                               CDecoderState& state, char16_t* out, std::size_t& nOut) const {
    std::uint32_t mode = state.nMode;
    std::size_t o = 0;
    std::size_t i = 0;
    bool bad = false;
    auto fail = [&]() {
        bad = true;
        out[o++] = 0xFFFD;
    };
    while (i < n && !(bad && bStrict)) {
        const std::uint8_t b = in[i++];
        if (mode & kTilde) {
            mode &= ~kTilde;
            switch (b) {
            case 0x0A: // line continuation
                break;
            case '~':
                out[o++] = u'~';
                mode &= ~kEmptySegment;
                break;
            case '{':
            case '}':
                mode = b == '{' ? (mode | kGbMode) : (mode & ~kGbMode);
                if (mode & kEmptySegment) {
                    mode &= ~kEmptySegment;
                    fail();
                } else {
                    mode |= kEmptySegment;
                }
                break;
            default:
                mode &= ~kEmptySegment;
                fail();
                // A byte that can start a character is decoded afresh.
                if ((mode & kGbMode) ? (b >= 0x21 && b <= 0x7E) : b <= 0x7F) {
                    --i;
                }
                break;
            }
        } else if (mode & kGbMode) {
            if (!(mode & kHaveLead)) {
                if (b == '~') {
                    mode |= kTilde;
                } else {
                    state.aPending[0] = b;
                    mode = (mode | kHaveLead) & ~kEmptySegment;
                }
                continue;
            }
            mode &= ~kHaveLead;
            const std::uint8_t lead = state.aPending[0];
            const bool leadOk = lead >= 0x21 && lead <= 0x7D;
            const bool trailOk = b >= 0x21 && b <= 0x7E;
            if (leadOk && trailOk) {
                const char16_t c = m_gbk.Pair(static_cast<std::uint8_t>(lead + 0x80),
                                              static_cast<std::uint8_t>(b + 0x80));
                if (c == tables::kNoMapping) {
                    fail();
                } else {
                    out[o++] = c;
                }
            } else {
                fail();
                if (trailOk) {
                    --i; // only the first byte is bad; the second starts a new pair
                }
            }
        } else if (b == '~') {
            mode |= kTilde;
        } else {
            mode &= ~kEmptySegment;
            if (b <= 0x7F) {
                out[o++] = b;
            } else {
                fail();
            }
        }
    }
    if (bad && bStrict) {
        return DecodeError::kNoUnicodeTranslation;
    }
    if (bFinal) {
        // A lone '~' or first byte at the end of the text is dropped, as ICU does.
        mode &= ~(kTilde | kHaveLead);
    }
    state.nMode = mode;
    nOut = o;
    return DecodeError::kNone;
}

} // namespace varnolt
