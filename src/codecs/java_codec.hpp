// The Java escape codec: characters above U+00FF to \uXXXX escapes and back.
#pragma once

#include "codecs/unicode_codec.hpp"

namespace varnolt {

class CJavaCodec : public CUnicodeCodec {
public:
    // Raises CUtfException for ill-formed text. A supplementary character
    // becomes two escapes, one per surrogate.
    std::u16string Encode(std::u16string_view text) override;
    // Exactly a backslash, one "u" and four hexadecimal digits make an escape;
    // anything else stays as written. Raises CUtfException when the result is
    // ill-formed (a lone surrogate escape).
    std::u16string Decode(std::u16string_view text) override;
};

} // namespace varnolt
