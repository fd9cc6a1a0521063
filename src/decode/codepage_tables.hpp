// The code-page tables generated at build time from data/codepages/.
#pragma once

#include <cstddef>
#include <cstdint>

namespace varnolt::tables {

// Marks a byte or pair without a mapping; no table maps anything to U+FFFF.
inline constexpr char16_t kNoMapping = 0xFFFF;

struct SingleByteTable {
    std::int32_t nCodePage;
    char16_t aMap[256];
};

struct DoubleByteTable {
    std::int32_t nCodePage;
    char16_t aSingle[256];      // kNoMapping for lead bytes and undefined bytes
    std::uint8_t aLeadRow[256]; // 0: not a lead byte; else 1 + its row in pPairs
    std::uint8_t nTrailMin;
    std::uint8_t nTrailMax;
    std::uint16_t nRowWidth; // nTrailMax - nTrailMin + 1
    const char16_t* pPairs;  // one row of nRowWidth units per lead byte
};

// Four-byte GB18030 sequences from linear index nIndex on map to consecutive
// code points from nFirst, up to the next range's index.
struct Gb18030Range {
    std::uint32_t nIndex;
    std::uint16_t nFirst;
};

// An ISCII rule: a key of 2 to 4 bytes (packed big-endian) whose result is
// not that of its bytes one after the other.
struct IsciiRule {
    std::uint32_t nKey;
    std::uint8_t nLength;
    std::uint8_t nUnits;
    char16_t aUnits[5];
};

struct IsciiTable {
    std::int32_t nCodePage;
    const char16_t* pSingle; // 256 entries, kNoMapping where a byte is an error
    const char16_t* pExt;    // 256 entries: result of EXT (0xF0) + byte
    const IsciiRule* pRules; // sorted by length, then key
    std::size_t nRuleCount;
};

extern const SingleByteTable kSingleByteTables[];
extern const std::size_t kSingleByteTableCount;
extern const DoubleByteTable kDoubleByteTables[];
extern const std::size_t kDoubleByteTableCount;

// Lead 0x81-0xFE by trail 0x40-0x7E, 0x80-0xFE: 126 x 190 units.
extern const char16_t kGb18030Pairs[126 * 190];
extern const Gb18030Range kGb18030Ranges[];
extern const std::size_t kGb18030RangeCount;

extern const IsciiTable kIsciiTables[];
extern const std::size_t kIsciiTableCount;

} // namespace varnolt::tables
