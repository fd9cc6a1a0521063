// The fixed, ordered list of source encodings and of Unicode output formats.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace varnolt {

struct EncodingEntry {
    std::int32_t nCodePage;
    std::string_view strName;
};

struct UnicodeFormatEntry {
    std::string_view strName;
    std::string_view strTooltip;
};

class EncodingCatalogue {
public:
    static constexpr int Count() { return 51; }
    // Callers guarantee 0 <= index < Count().
    static const EncodingEntry& Entry(int index);
    // The first index with that code page, or -1 when none has it (callers use 0).
    static int IndexOf(std::int32_t codePage);
    // True for 1200, 1201, 59999 and every code page we have a decoder for.
    static bool IsUsable(std::int32_t codePage);
    // Our stand-in for the platform's code-page validity test.
    static bool IsValidCodePage(std::int32_t codePage);

    // The names a user may give for an entry's code page (lower case, as
    // listed); empty for a code page outside the catalogue.
    static std::vector<std::string_view> Labels(std::int32_t codePage);
    // Every catalogue code page that `label` names, compared as web and IANA
    // labels are: ASCII letters without regard to case, leading and trailing
    // blanks ignored. Empty: no such name; more than one: the name is
    // ambiguous (the registries disagree), and these are the candidates.
    static std::vector<std::int32_t> CodePagesForLabel(std::string_view label);

    static constexpr int FormatCount() { return 3; }
    static const UnicodeFormatEntry& Format(int index);
};

// Texts of the main dialog's lists.
inline constexpr std::string_view kEncodingItemTooltip = "Code Page %d";
inline constexpr std::string_view kEncodingListTooltip =
    "Select the Encoding (Character-Set) of Source Files";
inline constexpr std::string_view kFormatListTooltip = "Select Unicode Format in Converted Files";

} // namespace varnolt
