// HTML character references: encoding for the codec dialog, decoding for both
// the dialog and the conversion of HTML text runs.
#include "codecs/html_entity_codec.hpp"

namespace varnolt {

namespace {

constexpr std::uint32_t kSaturated = 0x7FFFFFFF;

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

int HexValue(char16_t c) {
    if (IsDigit(c)) {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    return -1;
}

bool IsAsciiAlnum(char16_t c) {
    return IsDigit(c) || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// Digits too many for a signed 32-bit value saturate: such a reference can
// only stay as written.
std::uint32_t Accumulate(std::uint32_t value, unsigned base, int digit) {
    const std::uint64_t next = static_cast<std::uint64_t>(value) * base + digit;
    return next > kSaturated ? kSaturated : static_cast<std::uint32_t>(next);
}

void AppendNumber(std::u16string& out, std::uint32_t value, unsigned base) {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    char16_t buffer[16];
    int n = 0;
    do {
        buffer[n++] = kDigits[value % base];
        value /= base;
    } while (value != 0);
    while (n > 0) {
        out.push_back(buffer[--n]);
    }
}

} // namespace

ReferenceScan ScanReference(std::u16string_view text, std::size_t amp) {
    const std::size_t n = text.size();
    ReferenceScan scan;
    std::size_t j = amp + 1;
    if (j < n && text[j] == u'#') {
        scan.bNumeric = true;
        ++j;
        if (j < n && (text[j] == u'x' || text[j] == u'X')) {
            ++j;
            while (j < n && HexValue(text[j]) >= 0) {
                scan.nValue = Accumulate(scan.nValue, 16, HexValue(text[j]));
                ++j;
            }
        } else if (j < n && IsDigit(text[j])) {
            while (j < n && IsDigit(text[j])) {
                scan.nValue = Accumulate(scan.nValue, 10, text[j] - u'0');
                ++j;
            }
        } else if (j < n) {
            scan.bNotNumber = true;
        }
    } else {
        while (j < n && IsAsciiAlnum(text[j])) {
            ++j;
        }
    }
    scan.nEnd = j;
    return scan;
}

std::u16string CHtmlEntityCodec::Encode(std::u16string_view text) {
    if (!IsWellFormedUtf16(text)) {
        throw CUtfException();
    }
    std::u16string out;
    out.reserve(text.size());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t u = text[i];
        if (u < 128 && u != u'"' && u != u'&' && u != u'<' && u != u'>') {
            out.push_back(u);
            continue;
        }
        if (m_bUseNames) {
            if (const std::u16string* name = m_entityMap.FindName(u)) {
                out.push_back(u'&');
                out.append(*name);
                out.push_back(u';');
                continue;
            }
        }
        std::uint32_t code = u;
        if (IsHighSurrogate(u)) {
            // Well-formed: the low surrogate follows.
            code = CodePointFromSurrogates(u, text[++i]);
        }
        if (m_nNumericForm == kHexadecimal) {
            out.append(u"&#x");
            AppendNumber(out, code, 16);
        } else {
            out.append(u"&#");
            AppendNumber(out, code, 10);
        }
        out.push_back(u';');
    }
    return out;
}

std::u16string CHtmlEntityCodec::Decode(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    DecodeAppend(text, out);
    return out;
}

void CHtmlEntityCodec::AppendNumeric(std::u16string_view reference, std::uint32_t value,
                                     std::u16string& out) {
    if (value < 128) {
        if (!m_bDecodeAsciiReferences) {
            out.append(reference);
        } else if (value != 0) {
            out.push_back(static_cast<char16_t>(value));
        }
    } else if (value <= 0xFFFF) {
        // A reference to a lone surrogate would make the text ill-formed.
        if (IsHighSurrogate(static_cast<char16_t>(value)) ||
            IsLowSurrogate(static_cast<char16_t>(value))) {
            out.append(reference);
        } else {
            out.push_back(static_cast<char16_t>(value));
        }
    } else if (value <= 0x10FFFF) {
        out.push_back(HighSurrogate(value));
        out.push_back(LowSurrogate(value));
    } else {
        out.append(reference);
    }
}

void CHtmlEntityCodec::DecodeAppend(std::u16string_view text, std::u16string& out) {
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const std::size_t amp = text.find(u'&', i);
        if (amp == std::u16string_view::npos) {
            out.append(text.substr(i));
            return;
        }
        out.append(text.substr(i, amp - i));
        // A reference is pending from amp; j is the unit after it.
        const ReferenceScan scan = ScanReference(text, amp);
        const std::size_t j = scan.nEnd;
        const bool numeric = scan.bNumeric;
        if (scan.bNotNumber) {
            out.append(text.substr(amp, j + 1 - amp));
            i = j + 1;
            continue;
        }
        if (j == n) {
            // The text ended inside the reference: it stays as written.
            out.append(text.substr(amp));
            return;
        }
        const bool named = !numeric && j > amp + 1;
        if (text[j] != u';' || (!numeric && !named)) {
            // Not a reference: what was pending and this unit, as written.
            out.append(text.substr(amp, j + 1 - amp));
            i = j + 1;
            continue;
        }
        const std::u16string_view reference = text.substr(amp, j + 1 - amp);
        i = j + 1;
        if (numeric) {
            AppendNumeric(reference, scan.nValue, out);
            continue;
        }
        std::uint32_t code = 0;
        const std::u16string_view name = text.substr(amp + 1, j - amp - 1);
        // Named references to ASCII (lt, gt, amp, quot) follow the rule for
        // numeric ones, so escaped markup never becomes live markup.
        if (m_entityMap.FindCode(name, code) && (code >= 128 || m_bDecodeAsciiReferences)) {
            out.push_back(static_cast<char16_t>(code));
        } else {
            out.append(reference);
        }
    }
}

} // namespace varnolt
