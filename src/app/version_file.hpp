// The published version file of the update check: one line of four fields
// separated by '|', read without any GUI or network code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varnolt {

// What a version file announces. The texts are UTF-8, exactly as they stand
// between the separators.
struct VersionFileInfo {
    std::int32_t nVersion = -1;
    std::string strVersion;
    std::string strDownloadUrl;
};

// The check reads no more than this many bytes of the answer.
inline constexpr std::size_t kVersionFileMaxBytes = 512;

// The token that opens every version file.
inline constexpr std::string_view kVersionFileToken = "VARNOLTUPDATECHECK";

// Parses the bytes of an answer: taken up to the first NUL, decoded as the
// UTF-8 of Linux locales (what is not UTF-8 becomes U+FFFD), split at '|'.
// Nothing when the first field, blanks around it removed, is not exactly the
// token. The number is read as a decimal integer after optional blanks and a
// sign, up to the first non-digit (no digits: 0; beyond 32 bits: the nearest
// 32-bit value). Fields 2 to 4 are not trimmed; a missing one is empty; text
// after a fourth separator is ignored.
std::optional<VersionFileInfo> ParseVersionFile(std::string_view bytes);

// True for an absolute http: or https: address with a host and nothing in it
// that a browser would have to guess at (no blanks, no control characters).
// The update check opens no other kind of address, whatever the file says.
bool IsWebAddress(std::string_view url);

} // namespace varnolt
