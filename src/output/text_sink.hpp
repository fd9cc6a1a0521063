// Where converted UTF-16 text goes: the target writer, or a collector in tests.
#pragma once

#include "output/utf_encode.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace varnolt {

// A single-byte code page whose text is handed on as its bytes: the unit of
// each byte, and the same as UTF-8. Bytes below 0x80 map to themselves; the
// unit of every byte handed on is a BMP character other than NUL, a
// surrogate or U+FEFF.
struct CByteTextMap {
    char16_t aUnits[256] = {};
    CByteUtf8Map utf8{};
};

class CTextSink {
public:
    virtual ~CTextSink() = default;
    // Writes a piece of the file's text (never containing NUL units) in the
    // run's output format. Failures throw (the writer's file exception).
    virtual void WriteUnicode(std::u16string_view text) = 0;
    // True when WriteMapped is the better way to hand this sink text of a
    // single-byte page (it encodes the bytes itself); otherwise the text
    // comes as units.
    virtual bool TakesMappedBytes() const { return false; }
    // The same piece given as n bytes (none of them NUL) of a single-byte
    // page, so that a sink may encode them without the UTF-16 step: the
    // result is that of WriteUnicode of their units.
    virtual void WriteMapped(const std::uint8_t* bytes, std::size_t n, const CByteTextMap& map) {
        std::u16string text(n, u'\0');
        for (std::size_t i = 0; i < n; ++i) {
            text[i] = map.aUnits[bytes[i]];
        }
        WriteUnicode(text);
    }
    // True for a sink that writes UTF-8 and holds nothing back between
    // pieces but a high surrogate at a piece's end (for its partner): after
    // a piece that did not end so, WriteMapped writes EncodeMappedUtf8 of the
    // bytes and WriteUnicode of a piece that does not end so writes
    // EncodeUtf8 of its units. Another thread may then encode such a piece
    // itself and hand the result on through WriteEncoded.
    virtual bool WritesUtf8() const { return false; }
    // Writes bytes already in the output format (see WritesUtf8).
    virtual void WriteEncoded(const std::uint8_t* /*bytes*/, std::size_t /*n*/) {}
    // Returns when every piece written so far has reached its destination,
    // throwing the failure of one that did not. A sink that writes at once
    // has nothing to wait for.
    virtual void Settle() {}
};

} // namespace varnolt
