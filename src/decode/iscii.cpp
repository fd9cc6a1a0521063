// ISCII (57002-57011): per-script tables, rules of two to four bytes, and the
// ATR script switches, INV and EXT bytes.
//
// The reference is ICU, whose behaviour the data files describe. The current
// script, a pending EXT and the last bytes of a chunk (which a rule may still
// join to the next chunk's bytes) are kept in the state across chunks. Unlike
// ICU, a Gurmukhi consonant + halant at the very end of a file keeps its
// consonant.
#include "decode/decoders.hpp"

#include <algorithm>
#include <bitset>
#include <vector>

namespace varnolt {

namespace {

constexpr std::uint8_t kInv = 0xD9;
constexpr std::uint8_t kAtr = 0xEF;
constexpr std::uint8_t kExt = 0xF0;
constexpr std::uint32_t kAfterExt = 1; // bit of CDecoderState::nMode
constexpr std::size_t kLongestRule = 4;

const tables::IsciiTable* TableOf(std::int32_t codePage) {
    for (std::size_t k = 0; k < tables::kIsciiTableCount; ++k) {
        if (tables::kIsciiTables[k].nCodePage == codePage) {
            return &tables::kIsciiTables[k];
        }
    }
    return nullptr;
}

const tables::IsciiRule* FindRule(const tables::IsciiTable& table, std::uint8_t length,
                                  std::uint32_t key) {
    const tables::IsciiRule* begin = table.pRules;
    const tables::IsciiRule* end = begin + table.nRuleCount;
    const auto* it =
        std::lower_bound(begin, end, std::pair{length, key},
                         [](const tables::IsciiRule& r, std::pair<std::uint8_t, std::uint32_t> k) {
                             return r.nLength != k.first ? r.nLength < k.first : r.nKey < k.second;
                         });
    return it != end && it->nLength == length && it->nKey == key ? it : nullptr;
}

// Whether any rule of the table begins with the byte. Most bytes (all of
// ASCII) begin none, and for them the three rule searches per byte were
// most of the decoding time.
bool StartsRule(const tables::IsciiTable& table, std::uint8_t b) {
    static const std::vector<std::bitset<256>> firsts = [] {
        std::vector<std::bitset<256>> all(tables::kIsciiTableCount);
        for (std::size_t k = 0; k < tables::kIsciiTableCount; ++k) {
            const tables::IsciiTable& t = tables::kIsciiTables[k];
            for (std::size_t r = 0; r < t.nRuleCount; ++r) {
                all[k].set((t.pRules[r].nKey >> (8 * (t.pRules[r].nLength - 1))) & 0xFF);
            }
        }
        return all;
    }();
    return firsts[static_cast<std::size_t>(&table - tables::kIsciiTables)].test(b);
}

} // namespace

DecodeError CIsciiDecoder::Decode(const std::uint8_t* in, std::size_t n, bool bFinal, bool bStrict,
                                  CDecoderState& state, char16_t* out, std::size_t& nOut) const {
    std::uint8_t pending[kLongestRule] = {};
    const std::size_t nPending = state.nPending;
    std::copy(state.aPending, state.aPending + nPending, pending);
    const std::size_t total = nPending + n;
    auto at = [&](std::size_t p) { return p < nPending ? pending[p] : in[p - nPending]; };

    const tables::IsciiTable* own = TableOf(CodePage());
    const tables::IsciiTable* script = state.nScript != 0 ? TableOf(state.nScript) : own;
    bool afterExt = (state.nMode & kAfterExt) != 0;
    std::size_t o = 0;
    std::size_t p = 0;
    bool bad = false;
    auto fail = [&]() {
        bad = true;
        out[o++] = 0xFFFD;
    };

    while (p < total && !(bad && bStrict)) {
        const std::size_t avail = total - p;
        if (!bFinal && avail < kLongestRule) {
            break; // the next chunk may still change what these bytes mean
        }
        const std::uint8_t b = at(p);
        if (afterExt) {
            ++p;
            if (script->pExt[b] != tables::kNoMapping) {
                out[o++] = script->pExt[b];
                afterExt = false;
            } else {
                fail();
                afterExt = b >= 0xA1 && b <= 0xEE;
            }
            continue;
        }
        if (b == kAtr || b == kInv || b == kExt) {
            if (avail < 2) {
                ++p;
                fail(); // truncated at the end of the text
                continue;
            }
            const std::uint8_t next = at(p + 1);
            if (b == kAtr) {
                p += 2;
                if (next >= 0x42 && next <= 0x4B) {
                    script = TableOf(57002 + (next - 0x42));
                } else if (next == 0x40) {
                    script = own;
                } else if (!(next >= 0x21 && next <= 0x3F)) {
                    fail();
                }
            } else if (b == kInv) {
                ++p;
                out[o++] = next == 0xE8 ? u' ' : u'\u200D';
            } else {
                ++p;
                afterExt = true;
            }
            continue;
        }
        const tables::IsciiRule* rule = nullptr;
        for (std::uint8_t length = static_cast<std::uint8_t>(std::min(avail, kLongestRule));
             length >= 2 && rule == nullptr && StartsRule(*script, b); --length) {
            std::uint32_t key = 0;
            for (std::size_t k = 0; k < length; ++k) {
                key = (key << 8) | at(p + k);
            }
            rule = FindRule(*script, length, key);
        }
        if (rule != nullptr) {
            p += rule->nLength;
            for (std::size_t k = 0; k < rule->nUnits; ++k) {
                out[o++] = rule->aUnits[k];
                bad = bad || rule->aUnits[k] == 0xFFFD;
            }
            continue;
        }
        ++p;
        const char16_t c = script->pSingle[b];
        if (c == tables::kNoMapping) {
            fail();
            continue;
        }
        out[o++] = c;
        if (b == 0x0A || b == 0x0D) {
            script = own; // a line end ends a script switch
        }
    }
    if (bFinal && afterExt && p == total) {
        fail(); // the text ended after EXT
        afterExt = false;
    }
    if (bad && bStrict) {
        return DecodeError::kNoUnicodeTranslation;
    }
    std::uint8_t rest[kLongestRule] = {};
    const std::size_t nRest = total - p;
    for (std::size_t k = 0; k < nRest; ++k) {
        rest[k] = at(p + k);
    }
    std::copy(rest, rest + nRest, state.aPending);
    state.nPending = static_cast<std::uint8_t>(nRest);
    state.nScript = script == own ? 0 : script->nCodePage;
    state.nMode = afterExt ? kAfterExt : 0;
    nOut = o;
    return DecodeError::kNone;
}

} // namespace varnolt
