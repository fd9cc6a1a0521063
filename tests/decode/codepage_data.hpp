// Reads the reference code-page files of data/codepages/ for the decoder tests.
#pragma once

#include <cstdint>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace varnolt::test {

inline std::string CodePageDataDir() {
    return std::string(VARNOLT_SOURCE_DIR) + "/data/codepages";
}

struct CodePageLine {
    std::string bytes;    // the byte sequence
    std::u16string units; // what it decodes to
};

struct CodePageData {
    std::int32_t nCodePage = 0;
    std::map<std::string, std::string> header;
    std::set<std::uint8_t> leadBytes;
    std::vector<CodePageLine> lines;    // data lines, in file order
    std::vector<CodePageLine> eoiLines; // ISCII "#eoi"
    std::vector<CodePageLine> subLines; // ISCII "#sub"
    // GB18030 "#range": first sequence (4 bytes), first and last code point.
    struct Range {
        std::string first;
        std::uint32_t nFirst;
        std::uint32_t nLast;
    };
    std::vector<Range> ranges;
};

inline std::string HexBytes(const std::string& hex) {
    std::string out;
    for (std::size_t i = 2; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

inline std::u16string HexUnits(const std::string& text) {
    std::u16string out;
    std::istringstream in(text);
    std::string unit;
    while (in >> unit) {
        out.push_back(static_cast<char16_t>(std::stoul(unit, nullptr, 16)));
    }
    return out;
}

inline CodePageLine ParseLine(const std::string& line) {
    const auto tab = line.find('\t');
    return {HexBytes(line.substr(0, tab)),
            tab == std::string::npos ? std::u16string() : HexUnits(line.substr(tab + 1))};
}

inline CodePageData LoadCodePage(std::int32_t codePage) {
    CodePageData data;
    data.nCodePage = codePage;
    std::ifstream in(CodePageDataDir() + "/cp" + std::to_string(codePage) + ".txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("# ", 0) == 0) {
            const auto colon = line.find(": ");
            const std::string key = line.substr(2, colon == std::string::npos ? 0 : colon - 2);
            if (colon != std::string::npos && key.find(' ') == std::string::npos &&
                !data.header.count(key)) {
                data.header[key] = line.substr(colon + 2);
            }
        } else if (line.rfind("#eoi ", 0) == 0) {
            data.eoiLines.push_back(ParseLine(line.substr(5)));
        } else if (line.rfind("#sub ", 0) == 0) {
            data.subLines.push_back(ParseLine(line.substr(5)));
        } else if (line.rfind("#range ", 0) == 0) {
            std::istringstream fields(line.substr(7));
            std::string seq, first, last;
            fields >> seq >> first >> last;
            data.ranges.push_back({HexBytes(seq),
                                   static_cast<std::uint32_t>(std::stoul(first, nullptr, 16)),
                                   static_cast<std::uint32_t>(std::stoul(last, nullptr, 16))});
        } else if (!line.empty() && line[0] != '#') {
            data.lines.push_back(ParseLine(line));
        }
    }
    const std::string leads = data.header["LeadBytes"];
    std::istringstream items(leads);
    std::string item;
    while (items >> item) {
        if (item == "none") {
            break;
        }
        const auto dash = item.find('-');
        const unsigned lo = std::stoul(item.substr(0, dash), nullptr, 16);
        const unsigned hi =
            dash == std::string::npos ? lo : std::stoul(item.substr(dash + 1), nullptr, 16);
        for (unsigned b = lo; b <= hi; ++b) {
            data.leadBytes.insert(static_cast<std::uint8_t>(b));
        }
    }
    return data;
}

// The 35 code pages whose files list every strict-valid sequence.
inline const std::vector<std::int32_t>& TableCodePages() {
    static const std::vector<std::int32_t> pages = {
        1252, 437,   10000, 28591, 950,   936,  932,   20932, 949, 1361,  874,  1258,
        708,  28596, 1256,  775,   28594, 1257, 28592, 1250,  855, 28595, 1251, 20866,
        737,  28597, 1253,  862,   28598, 1255, 850,   852,   857, 28599, 1254};
    return pages;
}

} // namespace varnolt::test
