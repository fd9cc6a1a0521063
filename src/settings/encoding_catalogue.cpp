// Encoding catalogue: order and names as the user sees them.
#include "settings/encoding_catalogue.hpp"

#include "platform/text_utf.hpp"

#include <algorithm>
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

// Names of each code page, blank-separated: the web's encoding labels, the
// IANA charset names and aliases, and the names the platform's own tools
// give (cpNNN, windows-NNN). A name that two registries give to different
// code pages is listed under both, which makes it ambiguous: "iso-8859-1"
// is the web's windows-1252 but IANA's ISO 8859-1, and the two differ in
// 0x80-0x9F, so guessing would quietly garble text.
struct LabelRow {
    std::int32_t nCodePage;
    std::string_view strLabels;
};

constexpr std::string_view kLatin1Labels = "iso-8859-1 iso8859-1 iso88591 iso_8859-1 "
                                           "iso_8859-1:1987 iso-ir-100 csisolatin1 latin1 l1 "
                                           "cp819 ibm819";
constexpr std::string_view kLatin5Labels = "iso-8859-9 iso8859-9 iso88599 iso_8859-9 "
                                           "iso_8859-9:1989 iso-ir-148 csisolatin5 latin5 l5";

constexpr LabelRow kLabelRows[] = {
    {1252, "windows-1252 cp1252 x-cp1252 ascii us-ascii ansi_x3.4-1968 cp367 ibm367 iso646-us "
           "csascii"},
    {1252, kLatin1Labels},
    {437, "ibm437 cp437 cspc8codepage437"},
    {10000, "macintosh mac x-mac-roman csmacintosh cp10000"},
    {28591, kLatin1Labels},
    {65001, "utf-8 utf8 unicode-1-1-utf-8 unicode11utf8 unicode20utf8 x-unicode20utf8 cp65001"},
    {1200, "utf-16le unicode unicodefeff cp1200 utf-16"},
    {1201, "utf-16be unicodefffe cp1201 utf-16"},
    {950, "big5 big5-hkscs cn-big5 csbig5 x-x-big5 cp950 windows-950"},
    {936, "gbk gb2312 chinese csgb2312 csiso58gb231280 gb_2312 gb_2312-80 iso-ir-58 x-gbk cp936 "
          "windows-936"},
    {52936, "hz-gb-2312 hz cp52936"},
    {54936, "gb18030 cp54936 windows-54936"},
    {932, "shift_jis shift-jis sjis csshiftjis ms932 ms_kanji windows-31j x-sjis cp932 "
          "windows-932"},
    {20932, "euc-jp eucjp x-euc-jp cseucpkdfmtjapanese cp20932"},
    {949, "euc-kr euckr cseuckr csksc56011987 iso-ir-149 korean ks_c_5601-1987 ks_c_5601-1989 "
          "ksc5601 ksc_5601 uhc cp949 windows-949"},
    {1361, "johab cp1361"},
    {874, "windows-874 cp874 dos-874 tis-620 iso-8859-11 iso8859-11 iso885911"},
    {1258, "windows-1258 cp1258 x-cp1258"},
    // The platform's own name of 708 is ASMO-708, which both registries
    // give to ISO 8859-6.
    {708, "asmo-708 cp708"},
    {28596, "iso-8859-6 iso8859-6 iso88596 iso_8859-6 iso_8859-6:1987 iso-ir-127 ecma-114 "
            "asmo-708 arabic csisolatinarabic iso-8859-6-e iso-8859-6-i csiso88596e csiso88596i"},
    {1256, "windows-1256 cp1256 x-cp1256"},
    {775, "ibm775 cp775 cspc775baltic"},
    {28594, "iso-8859-4 iso8859-4 iso88594 iso_8859-4 iso_8859-4:1988 iso-ir-110 csisolatin4 "
            "latin4 l4"},
    {1257, "windows-1257 cp1257 x-cp1257"},
    {28592, "iso-8859-2 iso8859-2 iso88592 iso_8859-2 iso_8859-2:1987 iso-ir-101 csisolatin2 "
            "latin2 l2"},
    {1250, "windows-1250 cp1250 x-cp1250"},
    {855, "ibm855 cp855 csibm855"},
    {28595, "iso-8859-5 iso8859-5 iso88595 iso_8859-5 iso_8859-5:1988 iso-ir-144 "
            "csisolatincyrillic cyrillic"},
    {1251, "windows-1251 cp1251 x-cp1251"},
    {20866, "koi8-r koi8_r koi8r koi8 koi cskoi8r cp20866"},
    {737, "ibm737 cp737"},
    {28597, "iso-8859-7 iso8859-7 iso88597 iso_8859-7 iso_8859-7:1987 iso-ir-126 "
            "csisolatingreek ecma-118 elot_928 greek greek8 sun_eu_greek"},
    {1253, "windows-1253 cp1253 x-cp1253"},
    {862, "ibm862 cp862 cspc862latinhebrew"},
    {28598, "iso-8859-8 iso8859-8 iso88598 iso_8859-8 iso_8859-8:1988 iso-ir-138 "
            "csisolatinhebrew hebrew visual iso-8859-8-e csiso88598e iso-8859-8-i csiso88598i "
            "logical"},
    {1255, "windows-1255 cp1255 x-cp1255"},
    {850, "ibm850 cp850 cspc850multilingual"},
    {852, "ibm852 cp852 cspcp852"},
    {857, "ibm857 cp857 csibm857"},
    {28599, kLatin5Labels},
    {1254, "windows-1254 cp1254 x-cp1254"},
    {1254, kLatin5Labels},
    {57002, "x-iscii-de iscii-devanagari cp57002"},
    {57003, "x-iscii-be iscii-bengali cp57003"},
    {57004, "x-iscii-ta iscii-tamil cp57004"},
    {57005, "x-iscii-te iscii-telugu cp57005"},
    {57006, "x-iscii-as iscii-assamese cp57006"},
    {57007, "x-iscii-or iscii-oriya cp57007"},
    {57008, "x-iscii-ka iscii-kannada cp57008"},
    {57009, "x-iscii-ma iscii-malayalam cp57009"},
    {57010, "x-iscii-gu iscii-gujarati cp57010"},
    {57011, "x-iscii-pa iscii-punjabi cp57011"},
    {59999, "armscii-8 armscii8"},
};

// Calls `each` with every label of the row.
template <typename F> void ForEachLabel(std::string_view labels, F each) {
    while (!labels.empty()) {
        const std::size_t end = std::min(labels.find(' '), labels.size());
        if (end > 0) {
            each(labels.substr(0, end));
        }
        labels.remove_prefix(std::min(end + 1, labels.size()));
    }
}

bool IsLabelBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

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

std::vector<std::string_view> EncodingCatalogue::Labels(std::int32_t codePage) {
    std::vector<std::string_view> labels;
    for (const LabelRow& row : kLabelRows) {
        if (row.nCodePage == codePage) {
            ForEachLabel(row.strLabels, [&labels](std::string_view l) { labels.push_back(l); });
        }
    }
    return labels;
}

std::vector<std::int32_t> EncodingCatalogue::CodePagesForLabel(std::string_view label) {
    while (!label.empty() && IsLabelBlank(label.front())) {
        label.remove_prefix(1);
    }
    while (!label.empty() && IsLabelBlank(label.back())) {
        label.remove_suffix(1);
    }
    std::vector<std::int32_t> found;
    for (const LabelRow& row : kLabelRows) {
        ForEachLabel(row.strLabels, [&](std::string_view candidate) {
            if (EqualsIgnoringAsciiCase(candidate, label) &&
                std::find(found.begin(), found.end(), row.nCodePage) == found.end()) {
                found.push_back(row.nCodePage);
            }
        });
    }
    return found;
}

const UnicodeFormatEntry& EncodingCatalogue::Format(int index) {
    return kFormats[static_cast<std::size_t>(index)];
}

} // namespace varnolt
