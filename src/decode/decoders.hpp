// The decoder families behind the code-page layer (one source file each).
#pragma once

#include "decode/code_page_decoder.hpp"
#include "decode/codepage_tables.hpp"

#include <vector>

namespace varnolt {

// One unit per byte through a 256-entry table (1252, 437, the ISO pages, ...).
class CSingleByteDecoder final : public CCodePageDecoder {
public:
    explicit CSingleByteDecoder(const tables::SingleByteTable& table);
    const char16_t* Units() const { return m_table.aMap; }
    DecodeError Decode(const std::uint8_t* in, std::size_t n, bool bFinal, bool bStrict,
                       CDecoderState& state, char16_t* out, std::size_t& nOut) const override;

private:
    const tables::SingleByteTable& m_table;
    bool m_bAsciiIdentity;
    // The longest stretch of bytes from 0x80 up that maps to consecutive
    // units (the Cyrillic, Greek, Hebrew or Thai letters of many pages):
    // m_nRunLength bytes from m_nRunFirst map from m_chRunBase on.
    std::uint8_t m_nRunFirst = 0;
    unsigned m_nRunLength = 0;
    char16_t m_chRunBase = 0;
};

// Lead-byte sets and pair tables (932, 936, 949, 950, 1361, 20932).
class CDoubleByteDecoder final : public CCodePageDecoder {
public:
    // The ways to decode: kPlain, portable C++, one character at a time;
    // kAvx512, 64-byte blocks whose character starts are found at once.
    // Decode uses the best one the CPU has, chosen once; the tests run each.
    enum class Kernel { kPlain, kAvx512 };

    explicit CDoubleByteDecoder(const tables::DoubleByteTable& table);
    bool IsLeadByte(std::uint8_t byte) const override { return m_table.aLeadRow[byte] != 0; }
    DecodeError Decode(const std::uint8_t* in, std::size_t n, bool bFinal, bool bStrict,
                       CDecoderState& state, char16_t* out, std::size_t& nOut) const override;
    // Decode through the given kernel, which the CPU must support.
    DecodeError DecodeWith(Kernel kernel, const std::uint8_t* in, std::size_t n, bool bStrict,
                           char16_t* out, std::size_t& nOut) const;
    static bool CpuSupports(Kernel kernel);
    static Kernel BestKernel();
    // One two-byte character, or kNoMapping.
    char16_t Pair(std::uint8_t lead, std::uint8_t trail) const;

private:
    // What the first byte of a character decides: where its unit sits in
    // m_units (a lead byte's row, indexed by the trail byte), and the mask
    // that keeps the next byte in the index (0xFF) or drops it (0).
    struct CStep {
        std::uint32_t nBase;
        std::uint32_t nTrailMask;
    };

    // The characters of in[0, n) from in[i], one at a time, up to the first
    // one that starts at `end` or after it (the last byte of the text is
    // decoded alone). False on a strict error.
    bool DecodeSteps(const std::uint8_t* in, std::size_t end, std::size_t n, bool bStrict,
                     std::size_t& i, char16_t* out, std::size_t& o) const;

    const tables::DoubleByteTable& m_table;
    bool m_bAsciiIdentity;
    CStep m_aStep[256];
    // A full row of 256 units per lead byte (kNoMapping outside the table's
    // trail range), then the 256 single-byte units.
    std::vector<char16_t> m_units;
};

// GB18030: one- and two-byte tables, four-byte BMP ranges, supplementary planes by formula.
class CGb18030Decoder final : public CCodePageDecoder {
public:
    CGb18030Decoder() : CCodePageDecoder(54936) {}
    DecodeError Decode(const std::uint8_t* in, std::size_t n, bool bFinal, bool bStrict,
                       CDecoderState& state, char16_t* out, std::size_t& nOut) const override;
};

// HZ: shift sequences over the GB2312 part of 936; the mode carries across chunks.
class CHzDecoder final : public CCodePageDecoder {
public:
    explicit CHzDecoder(const CDoubleByteDecoder& gbk) : CCodePageDecoder(52936), m_gbk(gbk) {}
    std::size_t MaxOutput(std::size_t nBytes) const override { return nBytes + 2; }
    DecodeError Decode(const std::uint8_t* in, std::size_t n, bool bFinal, bool bStrict,
                       CDecoderState& state, char16_t* out, std::size_t& nOut) const override;

private:
    const CDoubleByteDecoder& m_gbk;
};

// ISCII: per-script tables, rules of two to four bytes, script switches.
class CIsciiDecoder final : public CCodePageDecoder {
public:
    explicit CIsciiDecoder(std::int32_t codePage) : CCodePageDecoder(codePage) {}
    std::size_t MaxOutput(std::size_t nBytes) const override { return 2 * (nBytes + 4); }
    DecodeError Decode(const std::uint8_t* in, std::size_t n, bool bFinal, bool bStrict,
                       CDecoderState& state, char16_t* out, std::size_t& nOut) const override;
};

// UTF-8, strict as on current systems: overlongs, surrogates, code points
// above U+10FFFF and truncated sequences do not decode.
class CUtf8Decoder final : public CCodePageDecoder {
public:
    CUtf8Decoder() : CCodePageDecoder(65001) {}
    DecodeError Decode(const std::uint8_t* in, std::size_t n, bool bFinal, bool bStrict,
                       CDecoderState& state, char16_t* out, std::size_t& nOut) const override;
};

} // namespace varnolt
