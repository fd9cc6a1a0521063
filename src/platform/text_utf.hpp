// Conversions between the UTF-8 of paths and settings and the UTF-16 of the pipeline.
#pragma once

#include <string>
#include <string_view>

namespace varnolt {

// Lenient: every ill-formed UTF-8 sequence becomes one U+FFFD. Used for text
// that is shown or logged (paths, settings), never for conversion input.
std::u16string Utf8ToUtf16(std::string_view text);

// Lenient: an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// A path or name as the console line and the log show it: the text itself,
// except that a backslash becomes "\\", a line break or tab "\n" "\r" "\t",
// another control character "\xHH" (C1 controls and U+2028/U+2029 "\uHHHH")
// and every byte outside well-formed UTF-8 "\xHH". The result is well-formed
// UTF-8 on one line, and the escaping can be undone to the exact bytes.
std::string EscapeForDisplay(std::string_view text);

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates, <= U+10FFFF).
bool IsWellFormedUtf8(std::string_view text);

// Compares two byte strings with only the letters A-Z folded, as every
// case-insensitive rule of this program (extensions, tags, sections) wants.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

} // namespace varnolt
