// Encoding detection: the detector proposes, our strict decoders decide, and
// the decoded text is scored for how much it looks like prose in one script.
#include "decode/encoding_detector.hpp"

#include "decode/armscii.hpp"
#include "decode/code_page_decoder.hpp"
#include "platform/file_io.hpp"
#include "platform/small_file.hpp"
#include "settings/encoding_catalogue.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string_view>
#include <uchardet/uchardet.h>

namespace varnolt {
namespace {

// The detector's names for the catalogue's code pages. A name it gives for an
// encoding we decode as a superset maps onto that superset; one name can
// stand for several pages when the catalogue lists related ones. Pages the
// detector never names (ISCII, ArmSCII-8, HZ, Johab, most DOS pages) are
// still tried by the decoders and ranked on plausibility alone.
struct DetectorName {
    std::string_view strName; // upper case, as the detector reports it
    std::int32_t aCodePages[2];
};

constexpr DetectorName kDetectorNames[] = {
    {"UTF-8", {65001, 0}},
    {"UTF-16", {1200, 1201}},
    {"UTF-16LE", {1200, 0}},
    {"UTF-16BE", {1201, 0}},
    {"BIG5", {950, 0}},
    {"GB18030", {936, 54936}},
    {"GB2312", {936, 54936}},
    {"GBK", {936, 54936}},
    {"HZ-GB-2312", {52936, 0}},
    {"SHIFT_JIS", {932, 0}},
    {"EUC-JP", {20932, 0}},
    {"EUC-KR", {949, 0}},
    {"UHC", {949, 0}},
    {"CP949", {949, 0}},
    {"JOHAB", {1361, 0}},
    {"TIS-620", {874, 0}},
    {"WINDOWS-874", {874, 0}},
    {"ISO-8859-11", {874, 0}},
    {"WINDOWS-1258", {1258, 0}},
    {"ISO-8859-6", {28596, 708}},
    {"WINDOWS-1256", {1256, 0}},
    {"ISO-8859-4", {28594, 0}},
    {"WINDOWS-1257", {1257, 0}},
    {"ISO-8859-13", {1257, 0}},
    {"IBM775", {775, 0}},
    {"ISO-8859-2", {28592, 0}},
    {"WINDOWS-1250", {1250, 0}},
    {"IBM852", {852, 0}},
    {"IBM855", {855, 0}},
    {"ISO-8859-5", {28595, 0}},
    {"WINDOWS-1251", {1251, 0}},
    {"KOI8-R", {20866, 0}},
    {"IBM737", {737, 0}},
    {"ISO-8859-7", {28597, 0}},
    {"WINDOWS-1253", {1253, 0}},
    {"IBM862", {862, 0}},
    {"ISO-8859-8", {28598, 0}},
    {"WINDOWS-1255", {1255, 0}},
    {"IBM850", {850, 0}},
    {"IBM437", {437, 0}},
    {"IBM857", {857, 0}},
    {"ISO-8859-9", {28599, 1254}},
    {"WINDOWS-1254", {1254, 0}},
    {"ISO-8859-1", {28591, 1252}},
    {"ISO-8859-15", {1252, 28591}},
    {"WINDOWS-1252", {1252, 0}},
    {"MAC-ROMAN", {10000, 0}},
    {"MACINTOSH", {10000, 0}},
    {"ARMSCII-8", {59999, 0}},
};

// What the detector proposes for the head, as catalogue code pages.
std::vector<std::int32_t> DetectorProposal(std::span<const std::byte> head) {
    std::unique_ptr<uchardet, void (*)(uchardet_t)> detector(uchardet_new(), uchardet_delete);
    if (!detector) {
        return {};
    }
    if (uchardet_handle_data(detector.get(), reinterpret_cast<const char*>(head.data()),
                             head.size()) != 0) {
        return {};
    }
    uchardet_data_end(detector.get());
    const char* name = uchardet_get_charset(detector.get());
    std::string upper = name != nullptr ? name : "";
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    std::vector<std::int32_t> pages;
    for (const DetectorName& row : kDetectorNames) {
        if (row.strName == upper) {
            for (std::int32_t cp : row.aCodePages) {
                if (cp != 0) {
                    pages.push_back(cp);
                }
            }
        }
    }
    return pages;
}

// The head decoded as UTF-16, or nothing when it is not well formed: an odd
// length (unless cut) or a lone surrogate. A leading byte-order mark of the
// other byte order disqualifies the page.
std::optional<std::u16string> DecodeUtf16(std::span<const std::byte> head, bool bBigEndian,
                                          bool bTruncated) {
    std::size_t n = head.size();
    if (n % 2 != 0) {
        if (!bTruncated) {
            return std::nullopt;
        }
        --n;
    }
    std::u16string text;
    text.reserve(n / 2);
    for (std::size_t i = 0; i < n; i += 2) {
        const auto b0 = static_cast<unsigned>(head[i]);
        const auto b1 = static_cast<unsigned>(head[i + 1]);
        text.push_back(static_cast<char16_t>(bBigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0)));
    }
    if (!text.empty() && text.front() == 0xFFFE) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 == text.size()) {
                if (bTruncated) {
                    text.pop_back();
                    break;
                }
                return std::nullopt;
            }
            if (text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) {
                return std::nullopt;
            }
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return std::nullopt;
        }
    }
    return text;
}

// The head decoded through our code-page layer, or nothing when a sequence
// does not decode. The pages decoded without the strict flag count a
// substituted character as a failure.
std::optional<std::u16string> DecodeHead(std::int32_t codePage, std::span<const std::byte> head,
                                         bool bTruncated) {
    if (codePage == 1200 || codePage == 1201) {
        return DecodeUtf16(head, codePage == 1201, bTruncated);
    }
    const auto* in = reinterpret_cast<const std::uint8_t*>(head.data());
    if (codePage == kArmsciiCodePage) {
        std::u16string text(head.size(), u'\0');
        for (std::size_t i = 0; i < head.size(); ++i) {
            text[i] = ArmsciiUnit(in[i]);
        }
        return text;
    }
    const CCodePageDecoder* decoder = FindDecoder(codePage);
    if (decoder == nullptr) {
        return std::nullopt;
    }
    const bool bStrict = UsesStrictFlag(codePage);
    // The decoders see a head cut from a longer file as a whole text, so a
    // character cut at its end does not decode: then the head is tried
    // again without its last one to three bytes (the longest cut sequence).
    const std::size_t nDrops = bTruncated ? std::min<std::size_t>(3, head.size() - 1) : 0;
    for (std::size_t nDrop = 0; nDrop <= nDrops; ++nDrop) {
        const std::size_t n = head.size() - nDrop;
        std::u16string text(decoder->MaxOutput(n), u'\0');
        CDecoderState state;
        DecodeError error = DecodeError::kNone;
        const std::size_t nOut = MultiByteToWideChar(codePage, bStrict, in, n, true, state,
                                                     text.data(), text.size(), error);
        if (error != DecodeError::kNone) {
            continue;
        }
        text.resize(nOut);
        if (!bStrict && text.find(u'\uFFFD') != std::u16string::npos) {
            continue;
        }
        return text;
    }
    return std::nullopt;
}

// The Han characters and Hangul syllables of the first levels of the national
// character sets (GB 2312, Big5 level 1, JIS level 1, KS X 1001): the ones
// real text is mostly made of. A text decoded with the wrong CJK page lands
// on the rarer rest far more often.
class CCommonCjk {
public:
    CCommonCjk() : m_common(0x10000, false) {
        Add(936, 0xB0, 0xF7, 0xA1, 0xFE);
        Add(950, 0xA4, 0xC5, 0x40, 0x7E);
        Add(950, 0xA4, 0xC5, 0xA1, 0xFE);
        Add(932, 0x88, 0x98, 0x40, 0xFC);
        Add(949, 0xB0, 0xC8, 0xA1, 0xFE);
        Add(949, 0xCA, 0xFD, 0xA1, 0xFE);
    }
    bool Contains(char32_t c) const { return c < 0x10000 && m_common[c]; }

private:
    void Add(std::int32_t codePage, unsigned leadFirst, unsigned leadLast, unsigned trailFirst,
             unsigned trailLast) {
        for (unsigned lead = leadFirst; lead <= leadLast; ++lead) {
            for (unsigned trail = trailFirst; trail <= trailLast; ++trail) {
                const std::uint8_t in[2] = {static_cast<std::uint8_t>(lead),
                                            static_cast<std::uint8_t>(trail)};
                char16_t out[4];
                CDecoderState state;
                DecodeError error = DecodeError::kNone;
                if (MultiByteToWideChar(codePage, true, in, 2, true, state, out, 4, error) == 1) {
                    m_common[out[0]] = true;
                }
            }
        }
    }

    std::vector<bool> m_common;
};

bool IsCommonCjk(char32_t c) {
    static const CCommonCjk common;
    return common.Contains(c);
}

enum class Script {
    kNone,
    kLatin,
    kGreek,
    kCyrillic,
    kArmenian,
    kHebrew,
    kArabic,
    kIndic, // refined by block below
    kThai,
    kHangul,
    kKana,
    kHan,
};

enum class Kind { kAscii, kLetter, kRareLetter, kMark, kPunct, kSymbol, kBad };

struct CharClass {
    Kind kind;
    Script script = Script::kNone;
    int nBlock = 0; // distinguishes the Indic scripts
    bool bUpper = false;
    bool bLower = false;
    bool bSpace = false;
    bool bAsciiLetter = false;
    bool bDigit = false;
};

CharClass Classify(char32_t c) {
    if (c < 0x80) {
        if (c == '\t' || c == '\n' || c == '\r' || c == '\f' || (c >= 0x20 && c < 0x7F)) {
            const bool bLetter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
            return {Kind::kAscii, Script::kNone, 0,       false,
                    false,        c == ' ',      bLetter, c >= '0' && c <= '9'};
        }
        return {Kind::kBad};
    }
    if (c < 0xA0 || c == 0xFFFD || (c >= 0xE000 && c <= 0xF8FF) || (c & 0xFFFE) == 0xFFFE) {
        return {Kind::kBad};
    }
    if (c < 0x100) {
        if (c >= 0xC0 && c != 0xD7 && c != 0xF7) {
            return {Kind::kLetter, Script::kLatin, 0, c < 0xDF, c >= 0xDF};
        }
        switch (c) {
        case 0xA0:
        case 0xAB:
        case 0xBB:
        case 0xB0:
        case 0xB7:
        case 0xA9:
        case 0xBF:
        case 0xA1:
            return {Kind::kPunct};
        case 0xAA:
        case 0xBA:
        case 0xB5:
            return {Kind::kRareLetter, Script::kLatin};
        default:
            return {Kind::kSymbol};
        }
    }
    if (c < 0x180) {
        // Latin Extended-A pairs capitals and small letters at even and odd
        // positions, with a shift at 0x139-0x148 and 0x179-0x17E.
        const bool bShifted = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        const bool bUpper = bShifted ? (c % 2 == 1) : (c % 2 == 0);
        if (c == 0x138 || c == 0x149 || c == 0x17F) {
            return {Kind::kRareLetter, Script::kLatin};
        }
        return {Kind::kLetter, Script::kLatin, 0, bUpper, !bUpper};
    }
    if (c < 0x250) {
        // Latin Extended-B: a few are common (Romanian, Vietnamese), most are not.
        if ((c >= 0x218 && c <= 0x21B) || c == 0x1A0 || c == 0x1A1 || c == 0x1AF || c == 0x1B0 ||
            c == 0x192) {
            return {Kind::kLetter, Script::kLatin, 0, c % 2 == 0 && c != 0x192, c % 2 == 1};
        }
        return {Kind::kRareLetter, Script::kLatin};
    }
    if (c >= 0x300 && c < 0x370) {
        return {Kind::kMark};
    }
    if (c >= 0x370 && c < 0x400) {
        if (c < 0x386 || c == 0x387) {
            return {Kind::kSymbol};
        }
        const bool bUpper = c < 0x3B0 && c != 0x390;
        return {Kind::kLetter, Script::kGreek, 0, bUpper, !bUpper};
    }
    if (c >= 0x400 && c < 0x530) {
        bool bUpper = c < 0x430;
        if (c >= 0x460) {
            bUpper = c % 2 == 0;
        }
        const bool bRare = c >= 0x460 && !(c >= 0x490 && c <= 0x4FF);
        return {bRare ? Kind::kRareLetter : Kind::kLetter, Script::kCyrillic, 0, bUpper, !bUpper};
    }
    if (c >= 0x530 && c < 0x590) {
        if (c >= 0x531 && c <= 0x556) {
            return {Kind::kLetter, Script::kArmenian, 0, true, false};
        }
        if (c >= 0x561 && c <= 0x587) {
            return {Kind::kLetter, Script::kArmenian, 0, false, true};
        }
        return {Kind::kPunct, Script::kArmenian};
    }
    if (c >= 0x590 && c < 0x600) {
        return {c >= 0x5D0 && c <= 0x5EA ? Kind::kLetter : Kind::kMark, Script::kHebrew};
    }
    if ((c >= 0x600 && c < 0x700) || (c >= 0xFB50 && c < 0xFE00) || (c >= 0xFE70 && c < 0xFF00)) {
        if (c >= 0xFB50) {
            return {Kind::kRareLetter, Script::kArabic};
        }
        if (c == 0x60C || c == 0x61B || c == 0x61F) {
            return {Kind::kPunct, Script::kArabic};
        }
        return {c >= 0x64B && c <= 0x652 ? Kind::kMark : Kind::kLetter, Script::kArabic};
    }
    if (c >= 0x900 && c < 0xE00) {
        return {Kind::kLetter, Script::kIndic, static_cast<int>((c - 0x900) / 0x80)};
    }
    if (c >= 0xE00 && c < 0xE80) {
        return {c >= 0xE01 && c <= 0xE5B ? Kind::kLetter : Kind::kBad, Script::kThai};
    }
    if (c >= 0x1E00 && c < 0x1F00) {
        return {Kind::kLetter, Script::kLatin, 0, c % 2 == 0, c % 2 == 1};
    }
    if ((c >= 0x2010 && c <= 0x2027) || c == 0x2030 || c == 0x2039 || c == 0x203A || c == 0x20AC ||
        c == 0x2116 || c == 0x2122) {
        return {Kind::kPunct};
    }
    if (c >= 0x3000 && c < 0x3040) {
        return {Kind::kPunct, Script::kHan};
    }
    if (c >= 0x3040 && c < 0x3100) {
        return {Kind::kLetter, Script::kKana};
    }
    if (c >= 0x3130 && c < 0x3190) {
        return {Kind::kRareLetter, Script::kHangul};
    }
    if (c >= 0xAC00 && c < 0xD7A4) {
        return {IsCommonCjk(c) ? Kind::kLetter : Kind::kRareLetter, Script::kHangul};
    }
    if (c >= 0x4E00 && c < 0xA000) {
        return {IsCommonCjk(c) ? Kind::kLetter : Kind::kRareLetter, Script::kHan};
    }
    if ((c >= 0x3400 && c < 0x4E00) || (c >= 0xF900 && c < 0xFB00) || c >= 0x20000) {
        return {Kind::kRareLetter, Script::kHan};
    }
    if (c >= 0xFF01 && c < 0xFF61) {
        return {Kind::kPunct, Script::kHan};
    }
    if (c >= 0xFF61 && c < 0xFFA0) {
        return {Kind::kRareLetter, Script::kKana};
    }
    return {Kind::kSymbol};
}

bool IsNonLatinLetter(const CharClass& cls) {
    return (cls.kind == Kind::kLetter || cls.kind == Kind::kRareLetter) &&
           cls.script != Script::kLatin && cls.script != Script::kHan &&
           cls.script != Script::kKana && cls.script != Script::kHangul;
}

// The letters beyond ASCII that the languages written in Latin letters use
// (small letters). A Latin text decoded with the wrong page keeps looking
// like Latin letters, but ones that no single language uses together, such
// as the Turkish ğ and ş beside the Icelandic á and æ.
constexpr std::u16string_view kLatinAlphabets[] = {
    u"àâæçéèêëîïôœùûüÿ",            // French
    u"äöüß",                        // German
    u"áéíóúüñ",                     // Spanish
    u"áâãàçéêíóôõú",                // Portuguese
    u"àèéìíîòóù",                   // Italian
    u"àçèéíïòóúü",                  // Catalan
    u"áéëèïóöüíú",                  // Dutch
    u"æøåéóáü",                     // Danish, Norwegian
    u"åäöéü",                       // Swedish
    u"äöåšž",                       // Finnish
    u"áæðéíóöúýþ",                  // Icelandic
    u"äõöüšž",                      // Estonian
    u"āčēģīķļņšūž",                 // Latvian
    u"ąčęėįšųūž",                   // Lithuanian
    u"ąćęłńóśźż",                   // Polish
    u"áčďéěíňóřšťúůýž",             // Czech
    u"áäčďéíĺľňóôŕšťúýž",           // Slovak
    u"čćđšž",                       // Slovene, Croatian, Bosnian, Serbian
    u"áéíóöőúüű",                   // Hungarian
    u"ăâîșțşţ",                     // Romanian
    u"çğıöşüâîûi",                  // Turkish (i: the small of İ)
    u"çë",                          // Albanian
    u"àáâãèéêìíòóôõùúýăđĩũơư",      // Vietnamese
    u"ċġħżàèìòù",                   // Maltese
    u"âêîôûŵŷáéíóúàèìòùäëïöüẁẃẅỳý", // Welsh
    u"ĉĝĥĵŝŭ",                      // Esperanto
};

char16_t LatinSmall(char16_t c) {
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
        return static_cast<char16_t>(c + 0x20);
    }
    if (c == 0x130) {
        return u'i';
    }
    if (c == 0x178) {
        return 0xFF;
    }
    if (c >= 0x100 && c < 0x180) {
        const CharClass cls = Classify(c);
        return cls.bUpper ? static_cast<char16_t>(c + 1) : c;
    }
    if ((c >= 0x218 && c <= 0x21B) || (c >= 0x1E00 && c < 0x1F00)) {
        return static_cast<char16_t>(c | 1);
    }
    return c;
}

// The share of the text's accented Latin letters that the one language
// using most of them has: 1 for a real text, lower for a mix no one writes.
double LatinAlphabetFit(const std::u16string& text) {
    std::map<char16_t, std::size_t> letters;
    std::size_t nTotal = 0;
    for (const char16_t c : text) {
        if (c < 0x80) {
            continue;
        }
        const CharClass cls = Classify(c);
        if (cls.script == Script::kLatin &&
            (cls.kind == Kind::kLetter || cls.kind == Kind::kRareLetter)) {
            ++letters[LatinSmall(c)];
            ++nTotal;
        }
    }
    if (nTotal == 0) {
        return 1.0;
    }
    std::size_t nBest = 0;
    for (const std::u16string_view alphabet : kLatinAlphabets) {
        std::size_t n = 0;
        for (const auto& [letter, count] : letters) {
            n += alphabet.find(letter) != std::u16string_view::npos ? count : 0;
        }
        nBest = std::max(nBest, n);
    }
    return static_cast<double>(nBest) / static_cast<double>(nTotal);
}

// How much the text looks like prose: near 1 when its non-ASCII characters
// are letters of one script in sensible case, lower for symbols, letters of
// mixed scripts, capitals inside words, and far lower for control characters.
// Text without non-ASCII characters scores 1 whatever the page.
double Plausibility(const std::u16string& text) {
    std::vector<CharClass> classes;
    classes.reserve(text.size());
    std::map<std::pair<Script, int>, std::size_t> scripts;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        const CharClass cls = Classify(c);
        classes.push_back(cls);
        if (cls.kind == Kind::kLetter || cls.kind == Kind::kRareLetter) {
            if (cls.script != Script::kLatin || c >= 0x80) {
                ++scripts[{cls.script, cls.nBlock}];
            }
        }
    }
    // The dominant non-ASCII script; Han and Kana (Japanese) count as one
    // family, as do Han and Hangul (Korean).
    std::pair<Script, int> dominant{Script::kNone, 0};
    std::size_t nDominant = 0;
    for (const auto& [script, n] : scripts) {
        if (n > nDominant) {
            dominant = script;
            nDominant = n;
        }
    }
    const auto fits = [&](const CharClass& cls) {
        if (cls.script == dominant.first && cls.nBlock == dominant.second) {
            return true;
        }
        const bool bCjk = dominant.first == Script::kHan || dominant.first == Script::kKana ||
                          dominant.first == Script::kHangul;
        return bCjk && (cls.script == Script::kHan || cls.script == Script::kKana ||
                        cls.script == Script::kHangul);
    };
    double dSum = 0.0;
    std::size_t nCounted = 0;
    const CharClass* previous = nullptr;
    const auto isIdeograph = [](const CharClass& cls) {
        return cls.script == Script::kHan && cls.kind != Kind::kPunct;
    };
    for (std::size_t i = 0; i < classes.size(); ++i) {
        const CharClass& cls = classes[i];
        if (cls.kind != Kind::kAscii) {
            ++nCounted;
            switch (cls.kind) {
            case Kind::kLetter:
                dSum += fits(cls) ? 1.0 : -1.0;
                break;
            case Kind::kRareLetter:
                dSum += fits(cls) ? -0.3 : -1.0;
                break;
            case Kind::kMark:
                dSum += previous != nullptr && previous->kind == Kind::kLetter ? 0.5 : -1.0;
                break;
            case Kind::kPunct:
                dSum += 0.3;
                break;
            case Kind::kSymbol:
                dSum -= 1.0;
                break;
            case Kind::kBad:
                dSum -= 4.0;
                break;
            case Kind::kAscii:
                break;
            }
            // A capital right after a small letter is rare in prose and
            // typical of a text decoded with the wrong page.
            if (cls.bUpper && previous != nullptr && previous->bLower) {
                dSum -= 1.0;
            }
            // A Latin letter glued to a letter of another script: the
            // trail bytes of a two-byte page read one byte at a time.
            if (previous != nullptr && previous->bAsciiLetter && IsNonLatinLetter(cls)) {
                dSum -= 1.0;
            }
            // One CJK character inside a Latin word: an accented letter of
            // a two-byte page read with another one.
            const bool bCjk = cls.script == Script::kHan || cls.script == Script::kKana ||
                              cls.script == Script::kHangul;
            if (bCjk && previous != nullptr && previous->bAsciiLetter && i + 1 < classes.size() &&
                classes[i + 1].bAsciiLetter) {
                dSum -= 2.0;
            }
        } else if (cls.bAsciiLetter && previous != nullptr && IsNonLatinLetter(*previous)) {
            dSum -= 1.0;
        } else if (cls.bDigit && previous != nullptr && previous->kind != Kind::kAscii &&
                   i + 1 < classes.size() && classes[i + 1].kind != Kind::kAscii) {
            // A digit between two letters beyond ASCII: the four-byte
            // sequences of GB18030 read one byte at a time.
            dSum -= 1.5;
        } else if (cls.bSpace && previous != nullptr && isIdeograph(*previous) &&
                   i + 1 < classes.size() && isIdeograph(classes[i + 1])) {
            // Chinese and Japanese put no spaces between words: a blank
            // between ideographs is the word break of a text in another
            // script read with the wrong page.
            dSum -= 2.0;
        }
        previous = &cls;
    }
    if (nCounted == 0) {
        return 1.0;
    }
    double dScore = dSum / static_cast<double>(nCounted);
    if (dominant.first == Script::kLatin) {
        dScore -= 2.0 * (1.0 - LatinAlphabetFit(text));
    }
    // No letter of a real alphabet or syllabary makes up a third of a text;
    // one that does is the lead byte of a two-byte page read on its own.
    // (Latin is left out: the accented letters of a Latin text are few and
    // often mostly one, such as French é.)
    if (dominant.first != Script::kLatin && dominant.first != Script::kNone && nDominant >= 20) {
        std::map<char16_t, std::size_t> counts;
        std::size_t nTop = 0;
        for (const char16_t c : text) {
            if (c >= 0x80) {
                nTop = std::max(nTop, ++counts[c]);
            }
        }
        if (3 * nTop > nDominant) {
            dScore -= 0.5;
        }
        // Ideographs number in thousands; hundreds of them drawn from fewer
        // than 80 are an alphabet read with the wrong two-byte page.
        if (dominant.first == Script::kHan && nDominant >= 200) {
            const auto nIdeographs =
                std::count_if(counts.begin(), counts.end(), [](const auto& entry) {
                    return Classify(entry.first).script == Script::kHan;
                });
            if (nIdeographs < 80) {
                dScore -= 0.5;
            }
        }
    }
    return dScore;
}

bool HasHzShift(std::span<const std::byte> head) {
    for (std::size_t i = 0; i + 1 < head.size(); ++i) {
        if (head[i] == std::byte{'~'} && head[i + 1] == std::byte{'{'}) {
            return true;
        }
    }
    return false;
}

bool ReadsAsAscii(const std::u16string& text, std::span<const std::byte> head) {
    return text.size() == head.size() &&
           std::equal(text.begin(), text.end(), head.begin(),
                      [](char16_t c, std::byte b) { return c == static_cast<char16_t>(b); });
}

bool IsAsciiOnly(std::span<const std::byte> head) {
    return std::all_of(head.begin(), head.end(),
                       [](std::byte b) { return static_cast<unsigned>(b) < 0x80; });
}

} // namespace

std::vector<DetectionCandidate> DetectEncoding(std::span<const std::byte> head, bool bTruncated) {
    if (head.empty()) {
        return {};
    }
    const std::vector<std::int32_t> proposal = DetectorProposal(head);
    // Text of ASCII bytes without a NUL is the same text in every
    // ASCII-compatible page; read as UTF-16 it would be pairs of letters
    // glued into ideographs, which no one writes.
    const bool bAscii = IsAsciiOnly(head);
    const bool bPlainAscii =
        bAscii && std::find(head.begin(), head.end(), std::byte{0}) == head.end();

    // Pages grouped by the text they give: pages that decode the head
    // identically are the same answer and get one confidence.
    struct Group {
        std::u16string text;
        std::vector<std::int32_t> pages;
        double dScore = 0.0;
    };
    std::vector<Group> groups;
    std::vector<std::int32_t> seen;
    for (int i = 0; i < EncodingCatalogue::Count(); ++i) {
        const std::int32_t cp = EncodingCatalogue::Entry(i).nCodePage;
        if (std::find(seen.begin(), seen.end(), cp) != seen.end()) {
            continue;
        }
        seen.push_back(cp);
        if (bPlainAscii && (cp == 1200 || cp == 1201)) {
            continue;
        }
        // Read as HZ, plain ASCII differs only where a "~" escapes; without
        // a shift into GB2312 that is an ASCII text with tildes.
        if (bPlainAscii && cp == 52936 && !HasHzShift(head)) {
            const std::optional<std::u16string> text = DecodeHead(cp, head, bTruncated);
            if (!text || !ReadsAsAscii(*text, head)) {
                continue;
            }
        }
        std::optional<std::u16string> text = DecodeHead(cp, head, bTruncated);
        if (!text) {
            continue;
        }
        auto group = std::find_if(groups.begin(), groups.end(),
                                  [&](const Group& g) { return g.text == *text; });
        if (group == groups.end()) {
            groups.push_back({std::move(*text), {cp}, 0.0});
        } else {
            group->pages.push_back(cp);
        }
    }
    if (groups.empty()) {
        return {};
    }

    // The detector's word counts, but a reading clearly more plausible than
    // the one it names wins over it.
    constexpr double kProposalBonus = 0.25;
    for (Group& g : groups) {
        g.dScore = Plausibility(g.text);
        const bool bProposed = std::any_of(g.pages.begin(), g.pages.end(), [&](std::int32_t cp) {
            return std::find(proposal.begin(), proposal.end(), cp) != proposal.end();
        });
        if (bProposed) {
            g.dScore += kProposalBonus;
        }
        // Non-ASCII bytes that form valid UTF-8 are almost never anything else.
        if (!bAscii && std::find(g.pages.begin(), g.pages.end(), 65001) != g.pages.end()) {
            g.dScore += 0.5;
        }
    }

    // Confidence: a soft maximum over the distinct texts, so that a page
    // far ahead of the others is near 1 and two close readings share it.
    constexpr double kSharpness = 8.0;
    double dBest = groups.front().dScore;
    for (const Group& g : groups) {
        dBest = std::max(dBest, g.dScore);
    }
    double dTotal = 0.0;
    for (const Group& g : groups) {
        dTotal += std::exp(kSharpness * (g.dScore - dBest));
    }
    // The bytes that tell the pages apart are the evidence: a reading chosen
    // on two accented bytes is a guess, however far ahead it is. When
    // every page gives one text there is nothing to doubt.
    std::size_t nTelling = 0;
    bool bInHz = false; // between HZ's "~{" and "~}" every byte is GB2312
    for (std::size_t i = 0; i < head.size(); ++i) {
        const auto b = static_cast<unsigned>(head[i]);
        if (b == '~' && i + 1 < head.size()) {
            const auto next = static_cast<unsigned>(head[i + 1]);
            bInHz = next == '{' ? true : next == '}' ? false : bInHz;
        }
        // Bytes above ASCII, the NULs of UTF-16 and HZ's two-byte characters.
        nTelling += b >= 0x80 || b == 0 || bInHz ? 1 : 0;
    }
    const double dEvidence =
        groups.size() == 1 ? 1.0 : 1.0 - std::exp(-static_cast<double>(nTelling) / 3.0);
    std::vector<DetectionCandidate> candidates;
    for (const Group& g : groups) {
        const double dConfidence = dEvidence * std::exp(kSharpness * (g.dScore - dBest)) / dTotal;
        for (std::int32_t cp : g.pages) {
            candidates.push_back({cp, dConfidence});
        }
    }
    // Best first; ties keep the catalogue's order.
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const DetectionCandidate& a, const DetectionCandidate& b) {
                         return a.dConfidence > b.dConfidence;
                     });
    return candidates;
}

FileDetection DetectFileEncoding(const std::filesystem::path& path) {
    FileDetection result;
    // One byte past the head tells whether the file goes on beyond it.
    std::vector<std::byte> head;
    head.reserve(kDetectionHeadBytes + 1);
    int error = 0;
    const bool bRead = platform::ReadFileChunks(
        path.string(),
        [&](std::string_view chunk) {
            const std::size_t n = std::min(chunk.size(), kDetectionHeadBytes + 1 - head.size());
            const auto* bytes = reinterpret_cast<const std::byte*>(chunk.data());
            head.insert(head.end(), bytes, bytes + n);
            return head.size() <= kDetectionHeadBytes;
        },
        &error);
    if (!bRead) {
        result.error = error == platform::kErrNotRegularFile ? std::string("not a regular file")
                                                             : std::string(std::strerror(error));
        return result;
    }
    const bool bTruncated = head.size() > kDetectionHeadBytes;
    head.resize(std::min(head.size(), kDetectionHeadBytes));
    result.candidates = DetectEncoding(head, bTruncated);
    return result;
}

} // namespace varnolt
