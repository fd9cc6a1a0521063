// Parsing the update check's version file and vetting its download address.
#include "app/version_file.hpp"

#include "platform/text_utf.hpp"

#include <limits>

namespace varnolt {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::int32_t DecimalPrefix(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        // Saturate instead of overflowing: a huge number is still "newer".
        if (value <= -kMin) {
            value = value * 10 + (text[i] - '0');
        }
    }
    value = negative ? -value : value;
    return static_cast<std::int32_t>(value > kMax ? kMax : value < kMin ? kMin : value);
}

} // namespace

std::optional<VersionFileInfo> ParseVersionFile(std::string_view bytes) {
    if (const std::size_t nul = bytes.find('\0'); nul != std::string_view::npos) {
        bytes = bytes.substr(0, nul);
    }
    // Round trip through UTF-16: every ill-formed sequence becomes U+FFFD.
    const std::string text = Utf16ToUtf8(Utf8ToUtf16(bytes));
    std::string_view fields[4];
    std::string_view rest = text;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t bar = rest.find('|');
        fields[i] = rest.substr(0, bar);
        if (bar == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(bar + 1);
    }
    if (TrimBlanks(fields[0]) != kVersionFileToken) {
        return std::nullopt;
    }
    VersionFileInfo info;
    info.nVersion = DecimalPrefix(fields[1]);
    info.strVersion = std::string(fields[2]);
    info.strDownloadUrl = std::string(fields[3]);
    return info;
}

bool IsWebAddress(std::string_view url) {
    std::size_t schemeLength = 0;
    for (std::string_view scheme : {"http://", "https://"}) {
        if (url.size() > scheme.size() &&
            EqualsIgnoringAsciiCase(url.substr(0, scheme.size()), scheme)) {
            schemeLength = scheme.size();
        }
    }
    if (schemeLength == 0) {
        return false;
    }
    for (const char c : url) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F) {
            return false;
        }
    }
    // A host must follow: "https:///etc/passwd" names none.
    const char first = url[schemeLength];
    return first != '/' && first != '?' && first != '#' && first != '@' && first != ':';
}

} // namespace varnolt
