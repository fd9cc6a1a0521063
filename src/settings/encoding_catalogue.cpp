// Encoding catalogue: order and names as the user sees them.
#include "settings/encoding_catalogue.hpp"

#include <array>

namespace varnolt {
namespace {

constexpr std::array<EncodingEntry, 51> kEntries{{
    {1252, "Western (Windows Char. Set)"},
    {437, "Western (DOS Character Set)"},
    {10000, "Macintosh Roman"},
    {28591, "ISO 8859-1 Latin I"},
    {65001, "Unicode (UTF-8)"},
    {1200, "Unicode (UTF-16)"},
    {1201, "Unicode Big Endian (UTF-16)"},
    {950, "Traditional Chinese(Big 5)"},
    {936, "Simplified Chinese (GB2312)"},
    {52936, "Simplified Chinese (HZ-GB2312)"},
    {54936, "Simplified Chinese (GB18030)"},
    {932, "Japanese (Shift-JIS)"},
    {20932, "Japanese (EUC)"},
    {949, "Korean (Wansung)"},
    {1361, "Korean (Johab)"},
    {874, "Thai (Windows)"},
    {1258, "Vietnamese (Windows)"},
    {708, "Arabic (ASMO 708)"},
    {28596, "Arabic (ISO8859-6)"},
    {1256, "Arabic (Windows)"},
    {775, "Baltic (DOS)"},
    {28594, "Baltic (ISO8859-4)"},
    {1257, "Baltic (Windows)"},
    {28592, "Central European (ISO-8859-2)"},
    {1250, "Central European (Windows)"},
    {855, "Cyrillic (DOS)"},
    {28595, "Cyrillic (ISO8859-5)"},
    {1251, "Cyrillic (Windows)"},
    {20866, "Cyrillic (KOI8-R)"},
    {737, "Greek (DOS)"},
    {28597, "Greek (ISO8859-7)"},
    {1253, "Greek (Windows)"},
    {862, "Hebrew (DOS)"},
    {28598, "Hebrew (ISO8859-8)"},
    {1255, "Hebrew (Windows)"},
    {850, "Multilingual Latin I (DOS)"},
    {852, "Latin II (DOS)"},
    {857, "Turkish (DOS)"},
    {28599, "Turkish (ISO8859-9)"},
    {1254, "Turkish (Windows)"},
    {57002, "ISCII Devanagari"},
    {57003, "ISCII Bengali"},
    {57004, "ISCII Tamil"},
    {57005, "ISCII Telugu"},
    {57006, "ISCII Assamese"},
    {57007, "ISCII Oriya"},
    {57008, "ISCII Kannada"},
    {57009, "ISCII Malayalam"},
    {57010, "ISCII Gujarati"},
    {57011, "ISCII Punjabi"},
    {59999, "ArmSCII-8"},
}};

constexpr std::array<UnicodeFormatEntry, 3> kFormats{{
    {"Unicode (UTF-16)", "Plain Text File on Windows"},
    {"Unicode Big Endian (UTF-16)", "Plain Text File on MacOS"},
    {"UTF-8", "HTML based files (e.g. .html, .asp, .php)"},
}};

} // namespace

const EncodingEntry& EncodingCatalogue::Entry(int index) {
    return kEntries[static_cast<std::size_t>(index)];
}

int EncodingCatalogue::IndexOf(std::int32_t codePage) {
    for (int i = 0; i < Count(); ++i) {
        if (kEntries[static_cast<std::size_t>(i)].nCodePage == codePage) {
            return i;
        }
    }
    return -1;
}

bool EncodingCatalogue::IsValidCodePage(std::int32_t codePage) {
    // Every catalogue code page has a decoder of our own (the decoder tests
    // check that the decoder set covers the catalogue); nothing else does.
    // UTF-16 and ArmSCII-8 are decoded by the reader and converter themselves,
    // not through the code-page layer.
    if (codePage == 1200 || codePage == 1201 || codePage == 59999) {
        return false;
    }
    return IndexOf(codePage) >= 0;
}

bool EncodingCatalogue::IsUsable(std::int32_t codePage) {
    if (codePage == 1200 || codePage == 1201 || codePage == 59999) {
        return true;
    }
    return IsValidCodePage(codePage);
}

const UnicodeFormatEntry& EncodingCatalogue::Format(int index) {
    return kFormats[static_cast<std::size_t>(index)];
}

} // namespace varnolt
