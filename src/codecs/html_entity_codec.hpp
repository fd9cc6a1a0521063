// The HTML character reference codec: characters to "&name;" / "&#n;" and back.
#pragma once

#include "codecs/html_entity_map.hpp"
#include "codecs/unicode_codec.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace varnolt {

class CHtmlEntityCodec : public CUnicodeCodec {
public:
    enum NumericForm : std::int32_t { kDecimal = 0, kHexadecimal = 1 };

    // The conversion pipeline's settings: decimal, names, ASCII references kept.
    CHtmlEntityCodec() = default;
    CHtmlEntityCodec(std::int32_t numericForm, bool useNames, bool decodeAsciiReferences)
        : m_nNumericForm(numericForm), m_bUseNames(useNames),
          m_bDecodeAsciiReferences(decodeAsciiReferences) {}

    // Escapes '"', '&', '<', '>' and every unit above 127; a surrogate pair
    // is one character. Raises CUtfException for ill-formed text.
    std::u16string Encode(std::u16string_view text) override;
    // Turns references into characters; never fails: what cannot be turned
    // into a character stays as written.
    std::u16string Decode(std::u16string_view text) override;
    // Decode appending to out, so that callers can reuse one buffer.
    void DecodeAppend(std::u16string_view text, std::u16string& out);

    std::int32_t NumericFormSetting() const { return m_nNumericForm; }
    void SetNumericForm(std::int32_t form) { m_nNumericForm = form; }
    bool UseNames() const { return m_bUseNames; }
    void SetUseNames(bool on) { m_bUseNames = on; }
    bool DecodeAsciiReferences() const { return m_bDecodeAsciiReferences; }
    void SetDecodeAsciiReferences(bool on) { m_bDecodeAsciiReferences = on; }
    CHtmlEntityMap& EntityMap() { return m_entityMap; }

private:
    void AppendNumeric(std::u16string_view reference, std::uint32_t value, std::u16string& out);

    std::int32_t m_nNumericForm = kDecimal;
    bool m_bUseNames = true;
    CHtmlEntityMap m_entityMap;
    bool m_bDecodeAsciiReferences = false;
};

// How far a character reference that starts with the "&" at text[amp] goes:
// `nEnd` is the unit after its name or digits, or text.size() when the text
// ends inside it. Decoding and the HTML stage's search for a reference cut
// by the end of a piece take these same steps.
struct ReferenceScan {
    std::size_t nEnd = 0;
    bool bNumeric = false;    // it began "&#"
    bool bNotNumber = false;  // "&#" and then neither a digit nor an "x" (at nEnd)
    std::uint32_t nValue = 0; // a numeric reference's value, saturated
};
ReferenceScan ScanReference(std::u16string_view text, std::size_t amp);

} // namespace varnolt
