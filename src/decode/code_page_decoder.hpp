// Our stand-in for the platform's code-page layer: a decoder per code page,
// looked up by number, with strict (fail on any undecodable sequence) and
// substituting (U+FFFD) modes and explicit per-file state for the stateful ones.
#pragma once

#include <cstddef>
#include <cstdint>

namespace varnolt {

// What a stateful decoder (HZ, ISCII) carries from one chunk of a file to the
// next; stateless decoders leave it alone. Reset it at the start of every file.
struct CDecoderState {
    std::uint32_t nMode = 0;  // decoder-specific mode bits
    std::int32_t nScript = 0; // ISCII: code page of the current script, 0 = the file's own
    std::uint8_t aPending[4] = {};
    std::uint8_t nPending = 0; // bytes kept back because the next chunk decides them

    void Reset() { *this = CDecoderState(); }
};

enum class DecodeError {
    kNone,
    kInsufficientBuffer,   // the output capacity is below what the input may need
    kNoUnicodeTranslation, // strict mode met a sequence that does not decode
    kInvalidParameter,     // unknown code page
};

class CCodePageDecoder {
public:
    explicit CCodePageDecoder(std::int32_t codePage) : m_nCodePage(codePage) {}
    virtual ~CCodePageDecoder() = default;
    CCodePageDecoder(const CCodePageDecoder&) = delete;
    CCodePageDecoder& operator=(const CCodePageDecoder&) = delete;

    std::int32_t CodePage() const { return m_nCodePage; }
    virtual bool IsLeadByte(std::uint8_t) const { return false; }
    // Upper bound of the units that decoding nBytes more bytes can give,
    // bytes kept in the state included.
    virtual std::size_t MaxOutput(std::size_t nBytes) const { return nBytes; }

    // Decodes in[0, n) after what the state holds. bFinal marks the end of the
    // text: nothing may be kept back. In strict mode an undecodable sequence
    // returns kNoUnicodeTranslation; otherwise it becomes U+FFFD. The output
    // must hold MaxOutput(n) units; nOut receives the count written. On an
    // error the state may be left changed: callers decode from a copy.
    virtual DecodeError Decode(const std::uint8_t* in, std::size_t n, bool bFinal, bool bStrict,
                               CDecoderState& state, char16_t* out, std::size_t& nOut) const = 0;

private:
    std::int32_t m_nCodePage;
};

// The decoder of a code page, or null when we have none.
const CCodePageDecoder* FindDecoder(std::int32_t codePage);

// The unit of each byte (kNoMapping where a byte is an error) of a page
// decoded one byte to one unit through a table; null for every other page.
const char16_t* SingleByteUnits(std::int32_t codePage);

// True when we can decode the code page through this layer.
bool IsValidCodePage(std::int32_t codePage);

// True when the byte starts a two-byte character of the code page.
bool IsDBCSLeadByteEx(std::int32_t codePage, std::uint8_t byte);

// False for the code pages decoded without the strict flag (substituting
// U+FFFD): the ISO 2022 family, HZ, GB18030, ISCII and UTF-7.
bool UsesStrictFlag(std::int32_t codePage);

// The layer's MultiByteToWideChar: decodes into out[0, capacity) with the
// state committed only on success. Returns the units written (0 is a valid,
// empty result when `error` is kNone), or 0 with the reason in `error`.
std::size_t MultiByteToWideChar(std::int32_t codePage, bool bStrict, const std::uint8_t* in,
                                std::size_t n, bool bFinal, CDecoderState& state, char16_t* out,
                                std::size_t capacity, DecodeError& error);

} // namespace varnolt
