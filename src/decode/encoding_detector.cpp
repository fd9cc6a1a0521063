// Encoding detection: the detector proposes, our strict decoders decide, and
// the decoded text is scored for how much it looks like prose in one script.
#include "decode/encoding_detector.hpp"

#include "decode/armscii.hpp"
#include "decode/code_page_decoder.hpp"
#include "platform/file_exception.hpp"
#include "platform/file_io.hpp"
#include "platform/small_file.hpp"
#include "platform/source_file.hpp"
#include "settings/encoding_catalogue.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
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

// How many units at the end of a decoded head a character cut by the head's
// end (with the look-ahead of the longest ISCII rule) can change.
constexpr std::size_t kCutReach = 16;

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
        const std::size_t nBad = bStrict ? std::u16string::npos : text.find(u'\uFFFD');
        if (nBad == std::u16string::npos) {
            return text;
        }
        // The decoders read with at most a few bytes' look-ahead, so dropping
        // the last bytes can only change the last units: a bad sequence
        // further in stays bad, and decoding the head again would not help.
        if (nBad + kCutReach < nOut) {
            break;
        }
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

// The letter model: which letters beyond ASCII each language written in
// Latin letters uses and how often, and what stands around each of them.
// Two Latin readings of the same bytes differ only in a few letters (a
// foreign name in a Hungarian text: "São" or "Săo"); the letter sets above
// cannot tell such readings apart, their likelihood under this model can.
// A symbol is a character beyond ASCII itself (a Latin letter in either case,
// a sign), or one of these for the kinds the model only counts.
constexpr char16_t kSymbolControl = 2;
constexpr char16_t kSymbolOther = 3;
constexpr char16_t kSymbolMark = 4;

struct LetterShare {
    char16_t cSymbol;
    float fShare; // among the language's characters beyond ASCII
};

struct LanguageLetters {
    std::string_view strLanguage;
    std::span<const LetterShare> shares;
};

// How often a symbol follows (the first five) and precedes (the last five) a
// word break, a vowel, a consonant, a Latin letter beyond ASCII and any other
// character beyond ASCII, over all the languages.
struct LetterContext {
    char16_t cSymbol;
    float afAround[10];
};

// clang-format off
// Begin of the letter model.
// Generated by bench/derive_letter_model.py from the message catalogues
// under /usr/share/locale (iso-codes left out); do not edit by hand.
constexpr LetterShare kLetters_fr[] = {
    {u'\u00E9', 0.4605f}, {u'\u00A0', 0.1644f}, {u'\u00AB', 0.08262f}, {u'\u00BB', 0.08261f}, {u'\u00E0', 0.04813f}, {u'\u00E8', 0.04442f}, {u'\u00EA', 0.03915f}, {u'\u2019', 0.03125f}, {u'\u00F4', 0.01218f}, {u'\u00C9', 0.008636f}, {u'\u00EE', 0.007408f}, {u'\u00E7', 0.003548f}, {u'\u202F', 0.00309f}, {u'\u00E2', 0.002151f}, {u'\u2026', 0.001278f}, {u'\u2014', 0.001219f}, {u'\u00F9', 0.001058f}, {u'\u00FB', 0.0009059f}, {u'\u00CE', 0.0007535f}, {u'\u00C8', 0.0006435f}, {u'\u2013', 0.0006181f},
};
constexpr LetterShare kLetters_de[] = {
    {u'\u00FC', 0.3397f}, {u'\u00BB', 0.1633f}, {u'\u00AB', 0.1632f}, {u'\u00E4', 0.1303f}, {u'\u00F6', 0.09746f}, {u'\u00DF', 0.03983f}, {u'\u201E', 0.01331f}, {u'\u201C', 0.01324f}, {u'\u00DC', 0.01118f}, {u'\u00C4', 0.009654f}, {u'\u2010', 0.005566f}, {u'\u2026', 0.004479f}, {u'\u00D6', 0.003327f}, {u'\u2013', 0.001283f}, {u'\u00D7', 0.001152f}, {u'\u00A0', 0.000848f}, {u'\u1E9E', 0.0006306f},
};
constexpr LetterShare kLetters_es[] = {
    {u'\u00F3', 0.3438f}, {u'\u00E1', 0.1755f}, {u'\u00BB', 0.1104f}, {u'\u00AB', 0.1103f}, {u'\u00ED', 0.1023f}, {u'\u00FA', 0.05719f}, {u'\u00F1', 0.03317f}, {u'\u00E9', 0.03185f}, {u'\u00D3', 0.008922f}, {u'\u00BF', 0.005574f}, {u'\u00A1', 0.003185f}, {u'\x04', 0.00295f}, {u'\u00CD', 0.002334f}, {u'\u00DA', 0.001973f}, {u'\u00C1', 0.001574f}, {u'\u00D1', 0.001538f}, {u'\u2026', 0.001068f}, {u'\u00BA', 0.001013f}, {u'\u2019', 0.0007239f}, {u'\u2018', 0.0006877f}, {u'\u00C9', 0.0006153f}, {u'\u201C', 0.0005791f}, {u'\u201D', 0.0005791f}, {u'\u00D7', 0.000561f},
};
constexpr LetterShare kLetters_pt[] = {
    {u'\u00E3', 0.2964f}, {u'\u00E7', 0.2017f}, {u'\u00E1', 0.1193f}, {u'\u00ED', 0.1055f}, {u'\u00E9', 0.06686f}, {u'\u00F3', 0.04389f}, {u'\u00F5', 0.03815f}, {u'\u00FA', 0.03173f}, {u'\u00EA', 0.02227f}, {u'\u201C', 0.01361f}, {u'\u201D', 0.01361f}, {u'\u00C3', 0.007239f}, {u'\u00E2', 0.006877f}, {u'\u00E0', 0.00567f}, {u'\u00C7', 0.005357f}, {u'\u00C9', 0.004367f}, {u'\u00BA', 0.004054f}, {u'\u00DA', 0.003113f}, {u'\u00CD', 0.002727f}, {u'\u00C1', 0.002558f}, {u'\u00F4', 0.0007721f}, {u'\u00D7', 0.0006515f}, {u'\u00D5', 0.0006274f},
};
constexpr LetterShare kLetters_it[] = {
    {u'\u00E8', 0.4404f}, {u'\u00E0', 0.1566f}, {u'\u00AB', 0.0881f}, {u'\u00BB', 0.08801f}, {u'\u00F2', 0.07956f}, {u'\u00F9', 0.06561f}, {u'\u00E9', 0.03166f}, {u'\u00C8', 0.02386f}, {u'\u00EC', 0.005781f}, {u'\u00D7', 0.005139f}, {u'\x04', 0.003028f}, {u'\u00A0', 0.002294f}, {u'\u2026', 0.002019f}, {u'\u2014', 0.001101f}, {u'\u2022', 0.001101f}, {u'\u00C0', 0.0009177f}, {u'\u00B0', 0.0009177f}, {u'\u2033', 0.0007341f}, {u'\u2236', 0.0005506f},
};
constexpr LetterShare kLetters_ca[] = {
    {u'\u00F3', 0.1588f}, {u'\u00AB', 0.1423f}, {u'\u00BB', 0.1422f}, {u'\u00E0', 0.1179f}, {u'\u00E9', 0.1076f}, {u'\u00ED', 0.06358f}, {u'\u2019', 0.05892f}, {u'\u00E8', 0.0465f}, {u'\u00E7', 0.03694f}, {u'\u00F2', 0.03585f}, {u'\u00FA', 0.02927f}, {u'\u00EF', 0.01475f}, {u'\u00B7', 0.01304f}, {u'\u2026', 0.007119f}, {u'\u00D3', 0.006264f}, {u'\u00FC', 0.006242f}, {u'\u00CD', 0.002565f}, {u'\u00C0', 0.002031f}, {u'\u2010', 0.001838f}, {u'\u00DA', 0.001325f}, {u'\u00C9', 0.0007482f}, {u'\u00D7', 0.0005986f}, {u'\u00C8', 0.0005558f},
};
constexpr LetterShare kLetters_nl[] = {
    {u'\u2019', 0.2498f}, {u'\u2018', 0.2408f}, {u'\u00E9', 0.1566f}, {u'\u00EB', 0.1486f}, {u'\u00EF', 0.1251f}, {u'\u00F3', 0.02258f}, {u'\u00D7', 0.01317f}, {u'\u2026', 0.01129f}, {u'\u00A0', 0.003293f}, {u'\u2014', 0.003293f}, {u'\u00A9', 0.002352f}, {u'\u00F6', 0.001881f}, {u'\x03', 0.001881f}, {u'\x04', 0.001881f}, {u'\u00C9', 0.001881f}, {u'\u00E8', 0.001881f}, {u'\u200A', 0.001411f}, {u'\u00AB', 0.001411f}, {u'\u00BB', 0.001411f}, {u'\u00E1', 0.0009407f}, {u'\u00FC', 0.0009407f}, {u'\u00B0', 0.0009407f},
};
constexpr LetterShare kLetters_da[] = {
    {u'\u00E6', 0.3454f}, {u'\u00F8', 0.2815f}, {u'\u00E5', 0.1971f}, {u'\u201C', 0.03729f}, {u'\u201D', 0.03729f}, {u'\u00E9', 0.02923f}, {u'\u00BB', 0.02287f}, {u'\u00AB', 0.02287f}, {u'\u00D8', 0.0084f}, {u'\u00C6', 0.007606f}, {u'\u00C5', 0.004541f}, {u'\u00D7', 0.002043f}, {u'\u2026', 0.0009649f}, {u'\u2014', 0.0007946f}, {u'\u2022', 0.0006811f},
};
constexpr LetterShare kLetters_nb[] = {
    {u'\u00E5', 0.2998f}, {u'\u00F8', 0.2516f}, {u'\u00AB', 0.1915f}, {u'\u00BB', 0.1914f}, {u'\u00E6', 0.02993f}, {u'\u2026', 0.01458f}, {u'\u00D8', 0.009058f}, {u'\u00E9', 0.004439f}, {u'\u00C5', 0.004199f}, {u'\u00D7', 0.00162f}, {u'\u2013', 0.0008998f},
};
constexpr LetterShare kLetters_sv[] = {
    {u'\u00E4', 0.417f}, {u'\u00F6', 0.2773f}, {u'\u00E5', 0.1941f}, {u'\u201D', 0.09143f}, {u'\u00C4', 0.00742f}, {u'\u00D6', 0.004524f}, {u'\u00C5', 0.003089f}, {u'\u2026', 0.002377f}, {u'\u2014', 0.0006394f},
};
constexpr LetterShare kLetters_fi[] = {
    {u'\u00E4', 0.7455f}, {u'\u201D', 0.129f}, {u'\u00F6', 0.08095f}, {u'\u2019', 0.02739f}, {u'\u00C4', 0.01f}, {u'\u201C', 0.001811f}, {u'\u00D6', 0.00129f}, {u'\u00D7', 0.0008149f}, {u'\u2013', 0.0007243f}, {u'\u0161', 0.0005433f},
};
constexpr LetterShare kLetters_is[] = {
    {u'\u00F0', 0.3192f}, {u'\u00E1', 0.1642f}, {u'\u00ED', 0.09657f}, {u'\u00E6', 0.09033f}, {u'\u00F6', 0.0638f}, {u'\u00F3', 0.05843f}, {u'\u00FA', 0.04768f}, {u'\u00FE', 0.04334f}, {u'\u00FD', 0.02965f}, {u'\u00E9', 0.01716f}, {u'\u00D3', 0.01335f}, {u'\u00DE', 0.01006f}, {u'\x03', 0.007802f}, {u'\u201C', 0.006241f}, {u'\u00C1', 0.005201f}, {u'\u00D7', 0.005201f}, {u'\u201E', 0.003988f}, {u'\u00DA', 0.002774f}, {u'\u00CD', 0.002427f}, {u'\u2018', 0.002254f}, {u'\u00D6', 0.002254f}, {u'\u201D', 0.001907f}, {u'\u201A', 0.001734f}, {u'\u2026', 0.001387f}, {u'\u00DD', 0.00104f}, {u'\u00D0', 0.0005201f}, {u'\u200A', 0.0005201f},
};
constexpr LetterShare kLetters_et[] = {
    {u'\u00E4', 0.3926f}, {u'\u00F5', 0.2763f}, {u'\u00FC', 0.2069f}, {u'\u00F6', 0.0402f}, {u'\u00DC', 0.02112f}, {u'\u00D5', 0.02034f}, {u'\u201E', 0.01095f}, {u'\u201C', 0.01095f}, {u'\u00C4', 0.008427f}, {u'\u00D7', 0.003584f}, {u'\u017E', 0.003487f}, {u'\u0161', 0.001356f}, {u'\u2236', 0.0007749f}, {u'\u2026', 0.0007749f}, {u'\u2019', 0.000678f},
};
constexpr LetterShare kLetters_lv[] = {
    {u'\u0101', 0.311f}, {u'\u0113', 0.2075f}, {u'\u012B', 0.1653f}, {u'\u0161', 0.09749f}, {u'\u013C', 0.04045f}, {u'\u016B', 0.03705f}, {u'\u0146', 0.03246f}, {u'\u201C', 0.02684f}, {u'\u201D', 0.02661f}, {u'\u0137', 0.01334f}, {u'\u017E', 0.01147f}, {u'\u2014', 0.009099f}, {u'\u0123', 0.005046f}, {u'\u0160', 0.004741f}, {u'\u0112', 0.002064f}, {u'\u013B', 0.001453f}, {u'\u00D7', 0.001415f}, {u'\u012A', 0.001262f}, {u'\u010D', 0.000994f}, {u'\u00A0', 0.0009175f}, {u'\u0100', 0.0008028f}, {u'\u2026', 0.0006117f},
};
constexpr LetterShare kLetters_lt[] = {
    {u'\u0161', 0.195f}, {u'\u0117', 0.1783f}, {u'\u0173', 0.1288f}, {u'\u012F', 0.08393f}, {u'\u017E', 0.08296f}, {u'\u0105', 0.08187f}, {u'\u201E', 0.0559f}, {u'\u201C', 0.05582f}, {u'\u010D', 0.04158f}, {u'\u016B', 0.03583f}, {u'\u0119', 0.02197f}, {u'\u0160', 0.01165f}, {u'\u012E', 0.01075f}, {u'\u017D', 0.006522f}, {u'\u2013', 0.001863f}, {u'\u00D7', 0.001126f}, {u'\u0116', 0.0009317f}, {u'\u010C', 0.0009317f}, {u'\u2026', 0.000854f}, {u'\u0104', 0.000854f}, {u'\u0118', 0.0006599f},
};
constexpr LetterShare kLetters_pl[] = {
    {u'\u0142', 0.1717f}, {u'\u017C', 0.1301f}, {u'\u0105', 0.1172f}, {u'\u015B', 0.1128f}, {u'\u0119', 0.1126f}, {u'\u00F3', 0.09624f}, {u'\u0107', 0.09441f}, {u'\u201E', 0.04158f}, {u'\u201D', 0.04158f}, {u'\u00A0', 0.02612f}, {u'\u0144', 0.02535f}, {u'\u017A', 0.01177f}, {u'\u0141', 0.004209f}, {u'\u017B', 0.003404f}, {u'\u015A', 0.002355f}, {u'\u00D3', 0.001379f}, {u'\u2014', 0.001086f}, {u'\u00D7', 0.0008784f}, {u'\u0104', 0.0008662f}, {u'\u0143', 0.0008296f}, {u'\u0118', 0.0006954f}, {u'\u2026', 0.0006466f}, {u'\u0179', 0.0006222f}, {u'\u0106', 0.00061f},
};
constexpr LetterShare kLetters_cs[] = {
    {u'\u00ED', 0.2349f}, {u'\u00E1', 0.1707f}, {u'\u0159', 0.09177f}, {u'\u00E9', 0.07017f}, {u'\u010D', 0.06952f}, {u'\u00FD', 0.06671f}, {u'\u017E', 0.06184f}, {u'\u011B', 0.05569f}, {u'\u0161', 0.03357f}, {u'\u016F', 0.02624f}, {u'\u201E', 0.02597f}, {u'\u201C', 0.02581f}, {u'\u00A0', 0.01406f}, {u'\u00FA', 0.005605f}, {u'\u00CD', 0.005549f}, {u'\u0158', 0.005058f}, {u'\u010C', 0.004672f}, {u'\u00C1', 0.004632f}, {u'\u00F3', 0.004166f}, {u'\u0148', 0.00386f}, {u'\u2026', 0.003522f}, {u'\u017D', 0.002043f}, {u'\u0160', 0.001914f}, {u'\u202F', 0.001592f}, {u'\u0165', 0.001552f}, {u'\u011A', 0.001431f}, {u'\u00DD', 0.001254f}, {u'\u2013', 0.001246f}, {u'\u00C9', 0.001166f}, {u'\u016E', 0.0008926f}, {u'\u010F', 0.0008283f}, {u'\u00DA', 0.00078f},
};
constexpr LetterShare kLetters_sk[] = {
    {u'\u00E1', 0.1806f}, {u'\u00ED', 0.1041f}, {u'\u010D', 0.0967f}, {u'\u00FD', 0.09125f}, {u'\u0165', 0.08702f}, {u'\u00E9', 0.08378f}, {u'\u00FA', 0.08226f}, {u'\u017E', 0.07257f}, {u'\u013E', 0.04577f}, {u'\u0161', 0.0404f}, {u'\u201E', 0.02424f}, {u'\u201C', 0.02405f}, {u'\u00F3', 0.008321f}, {u'\u00F4', 0.00778f}, {u'\u0148', 0.00758f}, {u'\u010C', 0.007533f}, {u'\u00E4', 0.006993f}, {u'\u013A', 0.004508f}, {u'\u00DA', 0.004183f}, {u'\u0160', 0.004137f}, {u'\u010F', 0.002825f}, {u'\u013D', 0.002362f}, {u'\u00C1', 0.0023f}, {u'\u017D', 0.001976f}, {u'\u00CD', 0.001528f}, {u'\u00DD', 0.00142f}, {u'\u00C9', 0.0009108f}, {u'\u00D7', 0.000602f},
};
constexpr LetterShare kLetters_sl[] = {
    {u'\u010D', 0.4638f}, {u'\u0161', 0.2021f}, {u'\u017E', 0.1299f}, {u'\u00BB', 0.07751f}, {u'\u00AB', 0.07745f}, {u'\u0160', 0.02269f}, {u'\u010C', 0.01943f}, {u'\u00D7', 0.002452f}, {u'\u017D', 0.001823f}, {u'\u2013', 0.0008173f}, {u'\u2022', 0.0005029f},
};
constexpr LetterShare kLetters_hr[] = {
    {u'\u010D', 0.2547f}, {u'\u0161', 0.1786f}, {u'\u0107', 0.1399f}, {u'\u017E', 0.1231f}, {u'\u201C', 0.09083f}, {u'\u201E', 0.06828f}, {u'\u0111', 0.06661f}, {u'\u201D', 0.03235f}, {u'\u010C', 0.01014f}, {u'\u0160', 0.009453f}, {u'\u020F', 0.007286f}, {u'\u00F4', 0.004628f}, {u'\u00D7', 0.002265f}, {u'\u0110', 0.00192f}, {u'\u017D', 0.001871f}, {u'\u2018', 0.001329f}, {u'\u2019', 0.001182f}, {u'\u2014', 0.001132f}, {u'\u2026', 0.0009846f}, {u'\u0106', 0.0005908f}, {u'\u2022', 0.0005908f},
};
constexpr LetterShare kLetters_hu[] = {
    {u'\u00E1', 0.2982f}, {u'\u00E9', 0.238f}, {u'\u00ED', 0.09357f}, {u'\u00F3', 0.08665f}, {u'\u00F6', 0.06515f}, {u'\u0151', 0.06195f}, {u'\u00FC', 0.03783f}, {u'\u201D', 0.02242f}, {u'\u201E', 0.02238f}, {u'\u00FA', 0.02219f}, {u'\u0171', 0.01623f}, {u'\u00C1', 0.01203f}, {u'\u00C9', 0.009325f}, {u'\u00D3', 0.003169f}, {u'\u2026', 0.002407f}, {u'\u00CD', 0.002032f}, {u'\u00D6', 0.001996f}, {u'\u00DA', 0.00104f}, {u'\u0150', 0.000895f}, {u'\u00DC', 0.0005806f},
};
constexpr LetterShare kLetters_ro[] = {
    {u'\u0103', 0.4293f}, {u'\u021B', 0.1538f}, {u'\u0219', 0.1355f}, {u'\u00EE', 0.08743f}, {u'\u201E', 0.05995f}, {u'\u201D', 0.05961f}, {u'\u00E2', 0.03127f}, {u'\u0163', 0.007627f}, {u'\u00CE', 0.006561f}, {u'\u015F', 0.005683f}, {u'\u0218', 0.005066f}, {u'\u00AB', 0.003888f}, {u'\u00BB', 0.003888f}, {u'\u0102', 0.003757f}, {u'\u021A', 0.003047f}, {u'\u00D7', 0.000673f}, {u'\u00A0', 0.0005047f},
};
constexpr LetterShare kLetters_tr[] = {
    {u'\u0131', 0.4335f}, {u'\u015F', 0.1316f}, {u'\u00E7', 0.1291f}, {u'\u00FC', 0.1179f}, {u'\u011F', 0.08648f}, {u'\u00F6', 0.05417f}, {u'\u0130', 0.01871f}, {u'\u00C7', 0.00673f}, {u'\u00D6', 0.004594f}, {u'\u201C', 0.004444f}, {u'\u201D', 0.004444f}, {u'\u00DC', 0.002751f}, {u'\u015E', 0.002466f}, {u'\u011E', 0.0009144f}, {u'\u2019', 0.0008694f},
};
constexpr LetterShare kLetters_sq[] = {
    {u'\u00EB', 0.9804f}, {u'\u00E7', 0.01098f}, {u'\u00AB', 0.002622f}, {u'\u00BB', 0.002622f}, {u'\u00C7', 0.001803f}, {u'\u00CB', 0.001393f},
};
constexpr LetterShare kLetters_vi[] = {
    {u'\u0111', 0.08454f}, {u'\u00F4', 0.04501f}, {u'\u01B0', 0.04414f}, {u'\u00E1', 0.0439f}, {u'\u00E0', 0.04052f}, {u'\u1EC3', 0.03455f}, {u'\u1EBF', 0.02821f}, {u'\u1EA1', 0.02797f}, {u'\u00EA', 0.02777f}, {u'\u1ED9', 0.0273f}, {u'\u1EC7', 0.02722f}, {u'\u1ECB', 0.02609f}, {u'\u1EA3', 0.02545f}, {u'\u1EE3', 0.02532f}, {u'\u00F3', 0.02418f}, {u'\u1ED1', 0.02384f}, {u'\u1EAD', 0.02369f}, {u'\u201D', 0.02104f}, {u'\u201C', 0.02099f}, {u'\u1EA7', 0.01824f}, {u'\u1EDB', 0.01698f}, {u'\u1EA5', 0.01658f}, {u'\u1EB7', 0.01543f}, {u'\u00F9', 0.01529f}, {u'\u1EE5', 0.0152f}, {u'\u1ED7', 0.01467f}, {u'\u00ED', 0.01258f}, {u'\u1ECD', 0.01253f}, {u'\u1EE7', 0.01238f}, {u'\u00EC', 0.01187f}, {u'\u1EC1', 0.01169f}, {u'\u00E3', 0.01126f}, {u'\u1EDD', 0.01125f}, {u'\u0110', 0.009911f}, {u'\u1EF1', 0.008603f}, {u'\u1EEF', 0.008396f}, {u'\u00FD', 0.007911f}, {u'\u1EE9', 0.007864f}, {u'\u00FA', 0.007474f}, {u'\u1EDF', 0.007315f}, {u'\u00E2', 0.007279f}, {u'\u1ECF', 0.00722f}, {u'\u1EC9', 0.0072f}, {u'\u01A1', 0.007005f}, {u'\u1ED5', 0.006882f}, {u'\u1EED', 0.006846f}, {u'\u1EAF', 0.006663f}, {u'\u00F2', 0.006409f}, {u'\u1EEB', 0.00613f}, {u'\u1ED3', 0.004624f}, {u'\u0103', 0.004325f}, {u'\u1EAB', 0.004321f}, {u'\u00E9', 0.003876f}, {u'\u1EE1', 0.003427f}, {u'\u1EB1', 0.003415f}, {u'\u1EA9', 0.003204f}, {u'\u1EBD', 0.002354f}, {u'\u00F5', 0.002107f}, {u'\u2026', 0.002055f}, {u'\u0169', 0.001916f}, {u'\u0129', 0.001888f}, {u'\u1EAC', 0.001717f}, {u'\u1ED0', 0.001602f}, {u'\u1EBB', 0.001523f}, {u'\u1EA2', 0.001097f}, {u'\u00E8', 0.001022f}, {u'\u1EB5', 0.001006f}, {u'\u01AF', 0.0008388f}, {u'\u00C1', 0.0007951f}, {u'\u00CA', 0.0007951f}, {u'\u1EC6', 0.0006758f}, {u'\u1EF3', 0.000652f}, {u'\u00D9', 0.0006361f}, {u'\u1EB9', 0.0006083f}, {u'\u1ECC', 0.0006083f}, {u'\u00AB', 0.0005884f}, {u'\u00BB', 0.0005844f}, {u'\u00D4', 0.0005685f}, {u'\u1EE8', 0.0005128f},
};
constexpr LetterShare kLetters_cy[] = {
    {u'\u00E2', 0.361f}, {u'\u00F4', 0.1992f}, {u'\u0175', 0.1826f}, {u'\u00EF', 0.08714f}, {u'\u00E1', 0.07054f}, {u'\u2019', 0.0332f}, {u'\u00D4', 0.0166f}, {u'\u0177', 0.008299f}, {u'\u00C3', 0.008299f}, {u'\u00AE', 0.008299f}, {u'\u00CE', 0.008299f}, {u'\u00EB', 0.008299f}, {u'\u00EE', 0.008299f},
};
constexpr LetterShare kLetters_eo[] = {
    {u'\u011D', 0.1971f}, {u'\u016D', 0.1832f}, {u'\u0109', 0.181f}, {u'\u015D', 0.1556f}, {u'\u0135', 0.04986f}, {u'\u0108', 0.03361f}, {u'\u00AB', 0.02894f}, {u'\u00BB', 0.02883f}, {u'\u201E', 0.02538f}, {u'\u201F', 0.02293f}, {u'\u015C', 0.02126f}, {u'\u0125', 0.01336f}, {u'\u201C', 0.01247f}, {u'\u011C', 0.01213f}, {u'\u201D', 0.01002f}, {u'\u00A0', 0.009905f}, {u'\u00D7', 0.003895f}, {u'\u0134', 0.002003f}, {u'\u016C', 0.001892f}, {u'\u2026', 0.001336f}, {u'\u00AA', 0.001113f}, {u'\u00A9', 0.0006678f}, {u'\u0124', 0.0006678f},
};
constexpr LetterShare kLetters_ga[] = {
    {u'\u00E1', 0.3096f}, {u'\u00ED', 0.2697f}, {u'\u00E9', 0.1582f}, {u'\u00FA', 0.1249f}, {u'\u00F3', 0.09818f}, {u'\u00DA', 0.01397f}, {u'\u00C1', 0.008614f}, {u'\u00CD', 0.004714f}, {u'\u00D3', 0.003667f}, {u'\u00C9', 0.002503f}, {u'\u00D7', 0.00227f}, {u'\u201C', 0.00128f}, {u'\u201D', 0.00128f},
};
constexpr LetterShare kLetters_gl[] = {
    {u'\u00F3', 0.2786f}, {u'\u00E1', 0.1776f}, {u'\u00ED', 0.1362f}, {u'\u00E9', 0.0998f}, {u'\u00FA', 0.06688f}, {u'\u00F1', 0.06639f}, {u'\u00AB', 0.06621f}, {u'\u00BB', 0.06621f}, {u'\x04', 0.01365f}, {u'\u00D3', 0.004076f}, {u'\u00C9', 0.003767f}, {u'\u00BA', 0.003273f}, {u'\u00C1', 0.002964f}, {u'\u00D7', 0.0021f}, {u'\u00DA', 0.001976f}, {u'\u00CD', 0.001853f}, {u'\u00BF', 0.001853f}, {u'\u00A1', 0.001791f}, {u'\u2026', 0.00142f}, {u'\u00FC', 0.0008646f},
};
constexpr LanguageLetters kLanguageLetters[] = {
    {"fr", kLetters_fr}, {"de", kLetters_de}, {"es", kLetters_es}, {"pt", kLetters_pt}, {"it", kLetters_it}, {"ca", kLetters_ca}, {"nl", kLetters_nl}, {"da", kLetters_da}, {"nb", kLetters_nb}, {"sv", kLetters_sv}, {"fi", kLetters_fi}, {"is", kLetters_is}, {"et", kLetters_et}, {"lv", kLetters_lv}, {"lt", kLetters_lt}, {"pl", kLetters_pl}, {"cs", kLetters_cs}, {"sk", kLetters_sk}, {"sl", kLetters_sl}, {"hr", kLetters_hr}, {"hu", kLetters_hu}, {"ro", kLetters_ro}, {"tr", kLetters_tr}, {"sq", kLetters_sq}, {"vi", kLetters_vi}, {"cy", kLetters_cy}, {"eo", kLetters_eo}, {"ga", kLetters_ga}, {"gl", kLetters_gl},
};
constexpr LetterContext kLetterContexts[] = {
    {u'\x03', {0.307f, 0.00284f, 0.0906f, 0.0f, 0.6f, 0.395f, 0.00213f, 0.00213f, 0.0f, 0.601f}},
    {u'\x04', {0.000763f, 0.97f, 0.025f, 0.0f, 0.00382f, 0.362f, 0.0327f, 0.594f, 0.00502f, 0.00644f}},
    {u'\u00A0', {0.0496f, 0.138f, 0.517f, 0.0556f, 0.239f, 0.469f, 0.0547f, 0.237f, 0.00454f, 0.235f}},
    {u'\u00A1', {0.91f, 0.0f, 0.0f, 0.0f, 0.0896f, 0.0845f, 0.343f, 0.519f, 0.00364f, 0.0503f}},
    {u'\u00A9', {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.998f, 0.0f, 0.0f, 0.0f, 0.00229f}},
    {u'\u00AB', {0.75f, 0.0244f, 0.224f, 2.21e-05f, 0.00096f, 0.784f, 0.0355f, 0.127f, 0.000433f, 0.0527f}},
    {u'\u00AE', {0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f}},
    {u'\u00B7', {0.0524f, 0.00243f, 0.945f, 0.0f, 0.000625f, 0.0561f, 0.00315f, 0.94f, 0.0f, 0.000625f}},
    {u'\u00BA', {0.69f, 0.0f, 0.31f, 0.0f, 0.0f, 0.959f, 0.0f, 0.0405f, 0.0f, 0.000989f}},
    {u'\u00BB', {0.354f, 0.0688f, 0.524f, 0.000358f, 0.0528f, 0.934f, 0.0129f, 0.05f, 0.000123f, 0.00322f}},
    {u'\u00BF', {0.978f, 0.00244f, 0.0f, 0.0f, 0.0195f, 0.0292f, 0.263f, 0.646f, 0.0132f, 0.0483f}},
    {u'\u00C0', {0.352f, 0.00575f, 0.633f, 0.0f, 0.00911f, 0.343f, 0.0908f, 0.537f, 0.0247f, 0.00456f}},
    {u'\u00C1', {0.31f, 0.0416f, 0.642f, 0.00335f, 0.00285f, 0.0863f, 0.0867f, 0.789f, 0.0373f, 0.000775f}},
    {u'\u00C3', {0.0f, 0.0289f, 0.679f, 0.292f, 0.0f, 0.00981f, 0.444f, 0.00367f, 0.0f, 0.543f}},
    {u'\u00C4', {0.454f, 0.0f, 0.487f, 0.0584f, 0.0f, 0.044f, 0.036f, 0.823f, 0.0973f, 0.0f}},
    {u'\u00C5', {0.486f, 0.0f, 0.451f, 0.0532f, 0.00956f, 0.0664f, 0.0f, 0.886f, 0.0474f, 0.0f}},
    {u'\u00C6', {0.335f, 0.00714f, 0.614f, 0.0436f, 0.0f, 0.0f, 0.0f, 0.942f, 0.0579f, 0.0f}},
    {u'\u00C7', {0.467f, 0.212f, 0.288f, 0.0333f, 0.000528f, 0.0519f, 0.387f, 0.0681f, 0.493f, 0.0f}},
    {u'\u00C8', {0.954f, 0.00304f, 0.0346f, 0.00366f, 0.00427f, 0.948f, 0.0f, 0.0479f, 0.00366f, 0.0f}},
    {u'\u00C9', {0.556f, 0.00562f, 0.422f, 0.0125f, 0.00376f, 0.264f, 0.0791f, 0.641f, 0.013f, 0.00295f}},
    {u'\u00CD', {0.342f, 0.0532f, 0.497f, 0.108f, 0.0f, 0.199f, 0.11f, 0.663f, 0.0282f, 0.000619f}},
    {u'\u00CE', {0.414f, 0.0542f, 0.532f, 0.0f, 0.0f, 0.00958f, 0.0f, 0.99f, 0.0f, 0.0f}},
    {u'\u00D3', {0.344f, 0.345f, 0.302f, 0.00926f, 0.0f, 0.191f, 0.0494f, 0.668f, 0.0829f, 0.00925f}},
    {u'\u00D4', {0.962f, 0.000903f, 0.037f, 0.0f, 0.0f, 0.0219f, 0.00135f, 0.976f, 0.000451f, 0.0f}},
    {u'\u00D5', {0.015f, 0.00462f, 0.964f, 0.0161f, 0.0f, 0.00943f, 0.113f, 0.868f, 0.00924f, 0.0f}},
    {u'\u00D6', {0.617f, 0.0468f, 0.301f, 0.0339f, 0.00133f, 0.0496f, 0.00787f, 0.884f, 0.0583f, 0.0f}},
    {u'\u00D7', {0.968f, 0.0f, 0.0257f, 0.0f, 0.00676f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f}},
    {u'\u00D8', {0.228f, 0.00325f, 0.762f, 0.0065f, 0.0f, 0.0f, 0.0103f, 0.983f, 0.0065f, 0.0f}},
    {u'\u00DA', {0.497f, 0.0139f, 0.461f, 0.0271f, 0.000255f, 0.169f, 0.00752f, 0.794f, 0.0289f, 0.0f}},
    {u'\u00DC', {0.595f, 0.00316f, 0.317f, 0.0845f, 0.00122f, 0.0207f, 0.00379f, 0.893f, 0.0822f, 0.0f}},
    {u'\u00DD', {0.188f, 0.0f, 0.726f, 0.0856f, 0.0f, 0.313f, 0.0f, 0.601f, 0.0856f, 0.0f}},
    {u'\u00DE', {0.966f, 0.0f, 0.0f, 0.0345f, 0.0f, 0.0f, 0.638f, 0.0862f, 0.276f, 0.0f}},
    {u'\u00DF', {0.000516f, 0.549f, 0.0f, 0.45f, 0.000546f, 0.133f, 0.795f, 0.0715f, 0.0f, 0.000546f}},
    {u'\u00E0', {0.148f, 0.0947f, 0.756f, 0.000733f, 0.000415f, 0.709f, 0.0493f, 0.24f, 0.000497f, 0.000868f}},
    {u'\u00E1', {0.0701f, 0.0514f, 0.867f, 0.0117f, 3.61e-05f, 0.205f, 0.142f, 0.644f, 0.00916f, 1.84e-05f}},
    {u'\u00E2', {0.54f, 0.00124f, 0.456f, 0.00244f, 8.28e-05f, 0.538f, 0.0599f, 0.402f, 0.000366f, 0.0f}},
    {u'\u00E3', {0.0f, 0.00652f, 0.542f, 0.452f, 0.0f, 0.0389f, 0.957f, 0.00375f, 0.0f, 7.84e-05f}},
    {u'\u00E4', {0.0611f, 0.0188f, 0.829f, 0.0913f, 7.13e-06f, 0.126f, 0.127f, 0.653f, 0.0927f, 0.00012f}},
    {u'\u00E5', {0.17f, 0.000327f, 0.829f, 0.000164f, 0.0f, 0.508f, 0.0201f, 0.472f, 6.55e-05f, 0.0f}},
    {u'\u00E6', {0.0419f, 0.00368f, 0.954f, 0.000745f, 0.0f, 0.00221f, 0.00605f, 0.958f, 0.0334f, 0.0f}},
    {u'\u00E7', {0.0854f, 0.682f, 0.222f, 0.0101f, 3.91e-05f, 0.047f, 0.461f, 0.0201f, 0.472f, 3.91e-05f}},
    {u'\u00E8', {0.825f, 0.02f, 0.149f, 0.00585f, 0.0002f, 0.833f, 0.00064f, 0.166f, 0.000343f, 0.0f}},
    {u'\u00E9', {0.214f, 0.0263f, 0.709f, 0.0478f, 0.00288f, 0.236f, 0.143f, 0.572f, 0.0474f, 0.00136f}},
    {u'\u00EA', {0.255f, 0.182f, 0.562f, 0.00027f, 0.000379f, 0.0465f, 0.0301f, 0.923f, 8.9e-05f, 0.0f}},
    {u'\u00EB', {0.0197f, 0.131f, 0.849f, 0.0f, 0.0f, 0.42f, 0.019f, 0.561f, 0.0f, 1.49e-05f}},
    {u'\u00EC', {0.0f, 0.0f, 0.989f, 0.0106f, 0.0f, 0.492f, 0.00157f, 0.496f, 0.0104f, 0.0f}},
    {u'\u00ED', {0.0724f, 0.0936f, 0.769f, 0.0652f, 2.97e-05f, 0.259f, 0.115f, 0.598f, 0.0266f, 0.000515f}},
    {u'\u00EE', {0.834f, 0.0777f, 0.0879f, 0.0f, 0.000543f, 0.00306f, 0.00579f, 0.99f, 0.000724f, 0.0f}},
    {u'\u00EF', {0.0f, 0.615f, 0.385f, 0.0f, 0.0f, 0.0553f, 0.356f, 0.589f, 0.0f, 0.0f}},
    {u'\u00F0', {0.0f, 0.722f, 0.123f, 0.155f, 0.0f, 0.517f, 0.31f, 0.171f, 0.00217f, 0.000543f}},
    {u'\u00F1', {0.0f, 0.998f, 0.000545f, 0.00186f, 0.0f, 0.000802f, 0.959f, 0.0f, 0.0407f, 0.0f}},
    {u'\u00F2', {0.00193f, 0.647f, 0.347f, 0.00458f, 0.0f, 0.73f, 0.00806f, 0.261f, 0.00151f, 0.0f}},
    {u'\u00F3', {0.0274f, 0.515f, 0.438f, 0.0194f, 0.0f, 0.239f, 0.0271f, 0.706f, 0.027f, 0.000215f}},
    {u'\u00F4', {0.605f, 0.00128f, 0.393f, 0.000826f, 0.0f, 0.0135f, 0.00375f, 0.968f, 0.0153f, 0.0f}},
    {u'\u00F5', {0.0692f, 0.0534f, 0.78f, 0.0975f, 0.0f, 0.00455f, 0.472f, 0.522f, 0.00122f, 0.0f}},
    {u'\u00F6', {0.0848f, 0.0448f, 0.833f, 0.0376f, 0.0f, 0.0317f, 0.0221f, 0.876f, 0.0698f, 0.0f}},
    {u'\u00F8', {0.0379f, 0.000219f, 0.962f, 0.000213f, 0.0f, 0.00285f, 0.0451f, 0.952f, 0.000213f, 0.0f}},
    {u'\u00F9', {0.0f, 0.626f, 0.371f, 0.00224f, 0.0f, 0.821f, 0.0582f, 0.12f, 0.0f, 0.0f}},
    {u'\u00FA', {0.14f, 0.091f, 0.739f, 0.0246f, 0.00599f, 0.222f, 0.0797f, 0.671f, 0.0268f, 0.0f}},
    {u'\u00FC', {0.127f, 0.0148f, 0.818f, 0.0406f, 2.11e-05f, 0.0319f, 0.0157f, 0.904f, 0.0487f, 0.0f}},
    {u'\u00FD', {0.00369f, 4.07e-05f, 0.99f, 0.00621f, 0.0f, 0.532f, 0.00101f, 0.443f, 0.024f, 0.000364f}},
    {u'\u00FE', {0.808f, 0.032f, 0.04f, 0.12f, 0.0f, 0.0f, 0.676f, 0.132f, 0.192f, 0.0f}},
    {u'\u0101', {0.00553f, 0.016f, 0.958f, 0.0205f, 0.000246f, 0.179f, 0.00701f, 0.792f, 0.0213f, 0.000246f}},
    {u'\u0102', {0.0f, 0.0263f, 0.966f, 0.00722f, 0.0f, 0.635f, 0.00485f, 0.315f, 0.0311f, 0.0145f}},
    {u'\u0103', {0.000699f, 0.00844f, 0.969f, 0.0223f, 0.0f, 0.768f, 0.0122f, 0.195f, 0.0235f, 0.00151f}},
    {u'\u0105', {0.00078f, 0.0845f, 0.732f, 0.183f, 0.0f, 0.528f, 0.0f, 0.435f, 0.0363f, 0.00129f}},
    {u'\u0107', {0.052f, 0.815f, 0.0109f, 0.122f, 0.0f, 0.439f, 0.526f, 0.0347f, 0.0f, 0.000156f}},
    {u'\u0108', {0.983f, 0.0132f, 0.00331f, 0.0f, 0.0f, 0.00662f, 0.99f, 0.00331f, 0.0f, 0.0f}},
    {u'\u0109', {0.755f, 0.115f, 0.129f, 0.0f, 0.00123f, 0.0197f, 0.972f, 0.008f, 0.0f, 0.0f}},
    {u'\u010C', {0.629f, 0.312f, 0.0124f, 0.0458f, 0.0f, 0.116f, 0.778f, 0.0488f, 0.0555f, 0.00187f}},
    {u'\u010D', {0.103f, 0.77f, 0.0679f, 0.0592f, 0.000371f, 0.0587f, 0.685f, 0.223f, 0.0338f, 0.000295f}},
    {u'\u010F', {0.139f, 0.711f, 0.0446f, 0.105f, 0.0f, 0.58f, 0.362f, 0.0409f, 0.0127f, 0.0044f}},
    {u'\u0110', {0.767f, 0.138f, 0.0945f, 0.0f, 0.000621f, 0.0245f, 0.364f, 0.0229f, 0.588f, 0.0f}},
    {u'\u0111', {0.559f, 0.436f, 0.00239f, 0.00317f, 0.000263f, 0.000105f, 0.502f, 0.000678f, 0.497f, 2.63e-05f}},
    {u'\u0113', {0.00424f, 0.00147f, 0.955f, 0.0389f, 0.0f, 0.0752f, 0.0f, 0.88f, 0.0442f, 0.000553f}},
    {u'\u0117', {0.0f, 0.000871f, 0.984f, 0.0155f, 0.0f, 0.259f, 0.0f, 0.72f, 0.0209f, 0.000436f}},
    {u'\u0119', {0.0f, 0.362f, 0.537f, 0.101f, 0.0f, 0.405f, 0.0f, 0.564f, 0.0305f, 0.000363f}},
    {u'\u011B', {0.000144f, 0.0f, 1.0f, 0.0f, 0.0f, 0.2f, 0.0f, 0.678f, 0.122f, 0.000289f}},
    {u'\u011C', {0.67f, 0.156f, 0.174f, 0.0f, 0.0f, 0.0f, 0.991f, 0.00917f, 0.0f, 0.0f}},
    {u'\u011D', {0.233f, 0.5f, 0.266f, 0.0f, 0.00113f, 0.00678f, 0.979f, 0.013f, 0.00169f, 0.0f}},
    {u'\u011F', {0.000173f, 0.87f, 0.000347f, 0.129f, 0.0f, 0.0259f, 0.643f, 0.172f, 0.159f, 0.0f}},
    {u'\u0123', {0.0682f, 0.636f, 0.0379f, 0.258f, 0.0f, 0.0f, 0.636f, 0.0152f, 0.348f, 0.0f}},
    {u'\u0125', {0.0167f, 0.217f, 0.767f, 0.0f, 0.0f, 0.0167f, 0.975f, 0.00833f, 0.0f, 0.0f}},
    {u'\u012B', {0.0136f, 0.00486f, 0.919f, 0.0629f, 0.0f, 0.0361f, 0.0f, 0.944f, 0.0203f, 0.0f}},
    {u'\u012E', {0.96f, 0.0f, 0.0144f, 0.0f, 0.0253f, 0.083f, 0.00722f, 0.91f, 0.0f, 0.0f}},
    {u'\u012F', {0.585f, 0.0268f, 0.368f, 0.0204f, 0.0f, 0.56f, 0.000463f, 0.432f, 0.00509f, 0.00278f}},
    {u'\u0130', {0.541f, 0.00761f, 0.418f, 0.034f, 0.0f, 0.0865f, 0.00961f, 0.724f, 0.18f, 0.0f}},
    {u'\u0131', {0.00345f, 0.0454f, 0.863f, 0.0883f, 0.000155f, 0.32f, 0.0343f, 0.57f, 0.0754f, 0.000121f}},
    {u'\u0135', {0.0692f, 0.911f, 0.0179f, 0.0f, 0.00223f, 0.00893f, 0.982f, 0.00893f, 0.0f, 0.0f}},
    {u'\u0137', {0.00573f, 0.186f, 0.192f, 0.616f, 0.0f, 0.00573f, 0.84f, 0.0f, 0.155f, 0.0f}},
    {u'\u013A', {0.0f, 0.0133f, 0.976f, 0.0104f, 0.0f, 0.0f, 0.0238f, 0.473f, 0.503f, 0.0f}},
    {u'\u013C', {0.0189f, 0.552f, 0.377f, 0.052f, 0.0f, 0.0274f, 0.639f, 0.00662f, 0.327f, 0.0f}},
    {u'\u013E', {0.0199f, 0.718f, 0.258f, 0.00405f, 0.0f, 0.059f, 0.371f, 0.453f, 0.117f, 0.0f}},
    {u'\u0141', {0.339f, 0.261f, 0.4f, 0.0f, 0.0f, 0.128f, 0.687f, 0.0116f, 0.171f, 0.0029f}},
    {u'\u0142', {0.0291f, 0.379f, 0.569f, 0.0222f, 0.000284f, 0.0701f, 0.581f, 0.0536f, 0.296f, 0.0f}},
    {u'\u0144', {0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.48f, 0.000481f, 0.52f, 0.0f, 0.0f}},
    {u'\u0146', {0.0f, 0.79f, 0.184f, 0.0259f, 0.0f, 0.00118f, 0.836f, 0.0141f, 0.148f, 0.0f}},
    {u'\u0148', {0.0148f, 0.587f, 0.342f, 0.0565f, 0.0f, 0.388f, 0.544f, 0.0678f, 0.0f, 0.0f}},
    {u'\u0151', {0.00332f, 0.0205f, 0.976f, 0.0f, 0.0f, 0.453f, 0.0213f, 0.509f, 0.0168f, 0.00039f}},
    {u'\u0158', {0.304f, 0.0238f, 0.514f, 0.154f, 0.00477f, 0.1f, 0.533f, 0.0382f, 0.323f, 0.00636f}},
    {u'\u0159', {0.107f, 0.122f, 0.621f, 0.147f, 0.00158f, 0.0456f, 0.634f, 0.0271f, 0.293f, 0.0f}},
    {u'\u015B', {0.0769f, 0.76f, 0.139f, 0.0232f, 0.000649f, 0.0126f, 0.000869f, 0.808f, 0.178f, 0.0f}},
    {u'\u015C', {0.948f, 0.0419f, 0.0105f, 0.0f, 0.0f, 0.00524f, 0.702f, 0.293f, 0.0f, 0.0f}},
    {u'\u015D', {0.573f, 0.277f, 0.148f, 0.00215f, 0.0f, 0.00031f, 0.715f, 0.285f, 0.0f, 0.0f}},
    {u'\u015F', {0.0519f, 0.701f, 0.036f, 0.211f, 0.0f, 0.155f, 0.251f, 0.505f, 0.0892f, 0.000164f}},
    {u'\u0160', {0.9f, 0.081f, 0.00895f, 0.0104f, 0.0f, 0.0141f, 0.411f, 0.459f, 0.116f, 0.0f}},
    {u'\u0161', {0.151f, 0.609f, 0.192f, 0.048f, 9.57e-05f, 0.0369f, 0.482f, 0.373f, 0.108f, 5.19e-05f}},
    {u'\u0163', {0.0f, 0.667f, 0.314f, 0.0196f, 0.0f, 0.00735f, 0.949f, 0.0f, 0.0441f, 0.0f}},
    {u'\u0165', {0.00261f, 0.786f, 0.131f, 0.0801f, 0.0f, 0.909f, 0.0895f, 0.00133f, 0.0f, 0.000614f}},
    {u'\u016B', {0.0f, 0.0378f, 0.794f, 0.168f, 0.0f, 0.00525f, 0.0f, 0.979f, 0.0159f, 0.0f}},
    {u'\u016D', {0.0f, 0.999f, 0.000608f, 0.000608f, 0.0f, 0.566f, 0.122f, 0.258f, 0.000608f, 0.0535f}},
    {u'\u016F', {0.0f, 0.0f, 0.923f, 0.0766f, 0.0f, 0.702f, 0.0f, 0.202f, 0.0959f, 0.000613f}},
    {u'\u0171', {0.00224f, 0.274f, 0.724f, 0.0f, 0.0f, 0.269f, 0.0231f, 0.706f, 0.0f, 0.00224f}},
    {u'\u0173', {0.0f, 0.316f, 0.649f, 0.0356f, 0.0f, 0.978f, 0.0f, 0.0208f, 0.0f, 0.00151f}},
    {u'\u0175', {0.0f, 0.0455f, 0.955f, 0.0f, 0.0f, 0.0f, 0.0227f, 0.977f, 0.0f, 0.0f}},
    {u'\u0177', {0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f}},
    {u'\u017A', {0.265f, 0.176f, 0.313f, 0.24f, 0.00518f, 0.353f, 0.00207f, 0.549f, 0.0953f, 0.0f}},
    {u'\u017B', {0.258f, 0.738f, 0.00358f, 0.0f, 0.0f, 0.0108f, 0.76f, 0.0932f, 0.136f, 0.0f}},
    {u'\u017C', {0.0577f, 0.88f, 0.0322f, 0.0301f, 0.000375f, 0.0773f, 0.494f, 0.389f, 0.0399f, 0.0f}},
    {u'\u017D', {0.761f, 0.182f, 0.0471f, 0.0038f, 0.00537f, 0.0277f, 0.787f, 0.0851f, 0.0944f, 0.00537f}},
    {u'\u017E', {0.0894f, 0.719f, 0.156f, 0.0359f, 0.000163f, 0.0317f, 0.675f, 0.245f, 0.0484f, 0.0f}},
    {u'\u01A1', {0.00114f, 0.0f, 0.372f, 0.627f, 0.0f, 0.167f, 0.042f, 0.791f, 0.0f, 0.0f}},
    {u'\u01B0', {0.00648f, 0.00018f, 0.658f, 0.336f, 0.0f, 0.135f, 0.139f, 0.0293f, 0.696f, 0.0f}},
    {u'\u020F', {0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f}},
    {u'\u0218', {0.387f, 0.598f, 0.00369f, 0.0111f, 0.0f, 0.0f, 0.878f, 0.114f, 0.00738f, 0.0f}},
    {u'\u0219', {0.198f, 0.748f, 0.028f, 0.0251f, 0.0f, 0.0058f, 0.805f, 0.188f, 0.00138f, 0.0f}},
    {u'\u021A', {0.0552f, 0.0798f, 0.834f, 0.0307f, 0.0f, 0.0307f, 0.963f, 0.0f, 0.00613f, 0.0f}},
    {u'\u021B', {0.0113f, 0.468f, 0.477f, 0.0433f, 0.0f, 0.00182f, 0.942f, 0.000122f, 0.0563f, 0.000122f}},
    {u'\u1EA1', {0.0f, 0.107f, 0.883f, 0.00995f, 0.0f, 0.031f, 0.473f, 0.496f, 0.0f, 0.0f}},
    {u'\u1EA3', {0.0791f, 0.174f, 0.74f, 0.00687f, 0.0f, 0.18f, 0.285f, 0.536f, 0.0f, 0.0f}},
    {u'\u1EA5', {0.0048f, 0.169f, 0.826f, 0.00024f, 0.0f, 0.00024f, 0.421f, 0.579f, 0.0f, 0.0f}},
    {u'\u1EA7', {0.0f, 0.00654f, 0.692f, 0.302f, 0.0f, 0.000872f, 0.358f, 0.641f, 0.0f, 0.0f}},
    {u'\u1EA9', {0.0546f, 0.444f, 0.406f, 0.0955f, 0.0f, 0.00248f, 0.413f, 0.584f, 0.0f, 0.0f}},
    {u'\u1EAB', {0.0f, 0.011f, 0.988f, 0.00092f, 0.0f, 0.0f, 0.305f, 0.695f, 0.0f, 0.0f}},
    {u'\u1EAD', {0.0f, 0.0138f, 0.98f, 0.00671f, 0.0f, 0.000671f, 0.0267f, 0.973f, 0.0f, 0.0f}},
    {u'\u1EAF', {0.0f, 0.0f, 0.991f, 0.00895f, 0.0f, 0.00179f, 0.0f, 0.998f, 0.0f, 0.0f}},
    {u'\u1EB1', {0.0f, 0.0f, 0.971f, 0.0291f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f}},
    {u'\u1EB7', {0.0f, 0.178f, 0.49f, 0.332f, 0.0f, 0.000258f, 0.000258f, 0.999f, 0.0f, 0.0f}},
    {u'\u1EBF', {0.0f, 0.477f, 0.449f, 0.0737f, 0.0f, 0.101f, 0.189f, 0.71f, 0.0f, 0.0f}},
    {u'\u1EC1', {0.0f, 0.603f, 0.313f, 0.084f, 0.0f, 0.282f, 0.434f, 0.284f, 0.0f, 0.0f}},
    {u'\u1EC3', {0.0f, 0.517f, 0.348f, 0.135f, 0.0f, 0.483f, 0.185f, 0.332f, 0.0f, 0.000115f}},
    {u'\u1EC7', {0.0f, 0.609f, 0.346f, 0.045f, 0.0f, 0.232f, 0.237f, 0.532f, 0.0f, 0.0f}},
    {u'\u1EC9', {0.0f, 0.0f, 0.989f, 0.011f, 0.0f, 0.905f, 0.0011f, 0.0939f, 0.0f, 0.0f}},
    {u'\u1ECB', {0.000152f, 0.000152f, 0.625f, 0.374f, 0.0f, 0.553f, 0.0703f, 0.377f, 0.0f, 0.0f}},
    {u'\u1ECD', {0.0f, 0.000952f, 0.772f, 0.227f, 0.0f, 0.00857f, 0.13f, 0.861f, 0.0f, 0.0f}},
    {u'\u1ECF', {0.0f, 0.0f, 0.995f, 0.00496f, 0.0f, 0.825f, 0.0804f, 0.092f, 0.0f, 0.0022f}},
    {u'\u1ED1', {0.012f, 0.113f, 0.666f, 0.209f, 0.0f, 0.417f, 0.376f, 0.206f, 0.0f, 0.0005f}},
    {u'\u1ED3', {0.0f, 0.263f, 0.482f, 0.255f, 0.0f, 0.206f, 0.16f, 0.634f, 0.0f, 0.0f}},
    {u'\u1ED5', {0.0433f, 0.00924f, 0.379f, 0.568f, 0.0f, 0.343f, 0.555f, 0.0936f, 0.0f, 0.00867f}},
    {u'\u1ED7', {0.0f, 0.137f, 0.863f, 0.0f, 0.0f, 0.159f, 0.79f, 0.0504f, 0.0f, 0.0f}},
    {u'\u1ED9', {0.0f, 0.0955f, 0.683f, 0.221f, 0.0f, 0.296f, 0.0684f, 0.636f, 0.0f, 0.0f}},
    {u'\u1EDB', {0.0f, 0.033f, 0.733f, 0.234f, 0.0f, 0.0956f, 0.571f, 0.333f, 0.000234f, 0.000234f}},
    {u'\u1EDD', {0.0f, 0.0445f, 0.386f, 0.569f, 0.0f, 0.15f, 0.432f, 0.418f, 0.0f, 0.000353f}},
    {u'\u1EDF', {0.271f, 0.000543f, 0.71f, 0.0179f, 0.000543f, 0.72f, 0.26f, 0.0185f, 0.000543f, 0.000543f}},
    {u'\u1EE1', {0.0f, 0.0f, 0.981f, 0.0186f, 0.0f, 0.977f, 0.00348f, 0.0197f, 0.0f, 0.0f}},
    {u'\u1EE3', {0.0f, 0.0f, 0.309f, 0.691f, 0.000157f, 0.105f, 0.0251f, 0.87f, 0.0f, 0.0f}},
    {u'\u1EE5', {0.0f, 0.0f, 0.995f, 0.00523f, 0.0f, 0.16f, 0.00628f, 0.834f, 0.0f, 0.000262f}},
    {u'\u1EE7', {0.0138f, 0.0f, 0.936f, 0.0498f, 0.0f, 0.167f, 0.832f, 0.000321f, 0.0f, 0.000964f}},
    {u'\u1EE9', {0.137f, 0.0f, 0.83f, 0.0334f, 0.0f, 0.201f, 0.218f, 0.58f, 0.0f, 0.000506f}},
    {u'\u1EEB', {0.0f, 0.0f, 0.883f, 0.117f, 0.0f, 0.706f, 0.0623f, 0.231f, 0.0f, 0.000649f}},
    {u'\u1EED', {0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.61f, 0.377f, 0.0134f, 0.0f, 0.0f}},
    {u'\u1EEF', {0.0f, 0.143f, 0.857f, 0.0f, 0.0f, 0.658f, 0.177f, 0.165f, 0.0f, 0.0f}},
    {u'\u1EF1', {0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.653f, 0.0476f, 0.299f, 0.0f, 0.0f}},
    {u'\u200A', {0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f}},
    {u'\u2010', {0.0497f, 0.26f, 0.664f, 0.0f, 0.0264f, 0.135f, 0.187f, 0.658f, 0.0174f, 0.00289f}},
    {u'\u2013', {0.829f, 0.00476f, 0.0109f, 0.0f, 0.155f, 0.956f, 0.0f, 0.0132f, 0.0f, 0.0309f}},
    {u'\u2014', {0.996f, 0.0f, 0.0f, 0.0f, 0.00393f, 0.97f, 0.0f, 0.00352f, 0.0f, 0.0263f}},
    {u'\u2018', {0.99f, 0.000704f, 0.00909f, 0.0f, 0.0f, 0.772f, 0.0715f, 0.157f, 0.0f, 0.0f}},
    {u'\u2019', {0.0915f, 0.14f, 0.768f, 6.02e-05f, 0.00116f, 0.665f, 0.17f, 0.146f, 0.0187f, 0.000337f}},
    {u'\u201C', {0.493f, 0.0675f, 0.435f, 0.00351f, 0.00131f, 0.865f, 0.0271f, 0.106f, 0.000796f, 0.00157f}},
    {u'\u201D', {0.294f, 0.0924f, 0.609f, 0.00305f, 0.000867f, 0.945f, 0.0117f, 0.0431f, 0.000134f, 0.000197f}},
    {u'\u201E', {0.995f, 0.0f, 0.000485f, 0.00014f, 0.00391f, 0.65f, 0.067f, 0.28f, 0.00165f, 0.00145f}},
    {u'\u201F', {0.184f, 0.131f, 0.68f, 0.0f, 0.00485f, 0.995f, 0.00485f, 0.0f, 0.0f, 0.0f}},
    {u'\u2022', {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f}},
    {u'\u2026', {0.52f, 0.175f, 0.277f, 0.019f, 0.00844f, 0.966f, 0.0f, 0.0166f, 0.000188f, 0.0175f}},
    {u'\u202F', {0.227f, 0.128f, 0.354f, 0.00708f, 0.284f, 0.264f, 0.0749f, 0.329f, 0.0085f, 0.324f}},
};
// End of the letter model.
// clang-format on

bool IsLatinLetter(char32_t c) {
    return (c >= 0xC0 && c < 0x100 && c != 0xD7 && c != 0xF7) || (c >= 0x100 && c < 0x250) ||
           (c >= 0x1E00 && c < 0x1F00) || c == 0xAA || c == 0xBA || c == 0xB5;
}

// The symbol of a character beyond ASCII: the character itself, but for the
// kinds the model only counts.
char16_t LetterSymbol(char16_t c) {
    if (IsLatinLetter(c)) {
        return c;
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
        return kSymbolOther; // beyond the first plane: no Latin letter
    }
    const CharClass cls = Classify(c);
    switch (cls.kind) {
    case Kind::kBad:
        return kSymbolControl;
    case Kind::kMark:
        return kSymbolMark;
    case Kind::kLetter:
    case Kind::kRareLetter:
        return kSymbolOther;
    default:
        return c;
    }
}

// The neighbour class of a character for LetterContext.
int NeighbourClass(char16_t c) {
    if (c < 0x80) {
        const char lower = static_cast<char>(c | 0x20);
        if (lower < 'a' || lower > 'z') {
            return 0;
        }
        return std::string_view("aeiouy").find(lower) != std::string_view::npos ? 1 : 2;
    }
    return IsLatinLetter(c) ? 3 : 4;
}

class CLetterModel {
public:
    CLetterModel() : m_index(0x10000, kNoRow) {
        for (const LanguageLetters& language : kLanguageLetters) {
            for (const LetterShare& share : language.shares) {
                m_symbols.push_back(share.cSymbol);
            }
        }
        std::sort(m_symbols.begin(), m_symbols.end());
        m_symbols.erase(std::unique(m_symbols.begin(), m_symbols.end()), m_symbols.end());
        // All languages together stand for the foreign words of any one.
        std::vector<double> pooled(m_symbols.size(), 0.0);
        for (const LanguageLetters& language : kLanguageLetters) {
            for (const LetterShare& share : language.shares) {
                pooled[SymbolIndex(share.cSymbol)] += share.fShare / std::size(kLanguageLetters);
            }
        }
        for (const LanguageLetters& language : kLanguageLetters) {
            std::vector<double> logs(m_symbols.size() + 1);
            for (std::size_t i = 0; i < m_symbols.size(); ++i) {
                logs[i] = std::log((1.0 - kForeign) * Share(language, m_symbols[i]) +
                                   kForeign * pooled[i] + kUnseen);
            }
            logs.back() = std::log(kUnseen); // a symbol no language uses
            m_languageLogs.push_back(std::move(logs));
        }
        // Each character beyond ASCII maps once to its symbol's row, so that
        // scoring a reading costs a table look-up per character; the signs
        // the model has no figures for share one row.
        std::vector<std::uint16_t> rowOfSymbol(0x10000, kNoRow);
        std::uint16_t nUnknownRow = kNoRow;
        for (char32_t c = 0x80; c < 0x10000; ++c) {
            const char16_t symbol = LetterSymbol(static_cast<char16_t>(c));
            const std::size_t index = SymbolIndex(symbol);
            const bool bOther = symbol == kSymbolOther;
            const bool bKnown = index != m_symbols.size() || HasContext(symbol) || bOther;
            std::uint16_t& nRow = bKnown ? rowOfSymbol[symbol] : nUnknownRow;
            if (nRow == kNoRow) {
                nRow = static_cast<std::uint16_t>(m_rows.size());
                m_rows.push_back({bOther, index, AroundLogs(symbol)});
            }
            m_index[c] = nRow;
        }
    }

    // The log-likelihood of the text's characters beyond ASCII under the
    // language that explains them best, or nothing when the text is not
    // mostly written in Latin letters (the model knows no other script).
    std::optional<double> LogLikelihood(const std::u16string& text) const {
        std::vector<std::size_t> counts(m_symbols.size() + 1, 0);
        double dAround = 0.0;
        std::size_t nLatin = 0;
        std::size_t nOtherLetters = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char16_t c = text[i];
            if (c < 0x80) {
                continue;
            }
            const Row& row = m_rows[m_index[c]];
            nLatin += IsLatinLetter(c) ? 1 : 0;
            nOtherLetters += row.bOtherLetter ? 1 : 0;
            ++counts[row.nSymbolIndex];
            const int left = i > 0 ? NeighbourClass(text[i - 1]) : 0;
            const int right = i + 1 < text.size() ? NeighbourClass(text[i + 1]) : 0;
            dAround += row.adAroundLogs[left] + row.adAroundLogs[5 + right];
        }
        if (nLatin == 0 || nOtherLetters > nLatin) {
            return std::nullopt;
        }
        std::vector<std::size_t> present; // a text uses few of the symbols
        for (std::size_t i = 0; i < counts.size(); ++i) {
            if (counts[i] != 0) {
                present.push_back(i);
            }
        }
        double dBest = -std::numeric_limits<double>::infinity();
        for (const std::vector<double>& logs : m_languageLogs) {
            double dSum = 0.0;
            for (const std::size_t i : present) {
                dSum += static_cast<double>(counts[i]) * logs[i];
            }
            dBest = std::max(dBest, dSum);
        }
        return dBest + dAround;
    }

private:
    // The share of a language's letters taken to be foreign words, and the
    // floor for a symbol no language has (a control character, say).
    static constexpr double kForeign = 0.1;
    static constexpr double kUnseen = 1e-6;
    static constexpr std::uint16_t kNoRow = 0xFFFF;

    // A symbol with what the model knows of it.
    struct Row {
        bool bOtherLetter;        // a letter of another script
        std::size_t nSymbolIndex; // into m_symbols, or its size for none
        std::array<double, 10> adAroundLogs;
    };

    std::size_t SymbolIndex(char16_t symbol) const {
        const auto it = std::lower_bound(m_symbols.begin(), m_symbols.end(), symbol);
        return it != m_symbols.end() && *it == symbol
                   ? static_cast<std::size_t>(it - m_symbols.begin())
                   : m_symbols.size();
    }

    static double Share(const LanguageLetters& language, char16_t symbol) {
        for (const LetterShare& share : language.shares) {
            if (share.cSymbol == symbol) {
                return share.fShare;
            }
        }
        return 0.0;
    }

    static const LetterContext* FindContext(char16_t symbol) {
        const auto* row = std::lower_bound(
            std::begin(kLetterContexts), std::end(kLetterContexts), symbol,
            [](const LetterContext& context, char16_t s) { return context.cSymbol < s; });
        return row != std::end(kLetterContexts) && row->cSymbol == symbol ? row : nullptr;
    }

    static bool HasContext(char16_t symbol) { return FindContext(symbol) != nullptr; }

    // The logs of a symbol's neighbour frequencies. Symbols whose neighbours
    // the model does not know are equally likely beside anything.
    static std::array<double, 10> AroundLogs(char16_t symbol) {
        std::array<double, 10> logs;
        const LetterContext* row = FindContext(symbol);
        constexpr double kFloor = 1e-3;
        for (std::size_t i = 0; i < logs.size(); ++i) {
            logs[i] = row != nullptr ? std::log(row->afAround[i] + kFloor) : std::log(0.2);
        }
        return logs;
    }

    std::vector<char16_t> m_symbols;
    std::vector<std::vector<double>> m_languageLogs;
    std::vector<Row> m_rows;
    std::vector<std::uint16_t> m_index; // character -> m_rows
};

std::optional<double> LetterLogLikelihood(const std::u16string& text) {
    static const CLetterModel model;
    return model.LogLikelihood(text);
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

// UTF-16 of mostly Latin text read in the other byte order: every ASCII
// character becomes a unit U+xx00. Real text has few of them (U+3000, the
// ideographic space, is the common one), so a reading where they make up a
// quarter of the units has its bytes the wrong way round, whatever the
// other units look like.
bool IsSwappedLatin(const std::u16string& text) {
    const auto swapped = std::count_if(text.begin(), text.end(), [](char16_t u) {
        return (u & 0xFF) == 0 && u > 0xFF && u != 0x3000;
    });
    return static_cast<std::size_t>(swapped) * 4 > text.size();
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
        if (IsSwappedLatin(g.text)) {
            g.dScore -= 4.0;
        }
    }
    // Among the Latin readings, the one whose letters a language explains
    // best: each nat of likelihood it has over another counts, up to a cap,
    // so that letter statistics refine the plausibility score, not overrule it.
    constexpr double kLetterWeight = 0.1;
    constexpr double kLetterCap = 1.0;
    // The letters only ever lower a score: a reading this far behind the
    // best keeps a confidence of next to nothing whatever its letters, and is
    // not scored (on a long head, scoring is what costs).
    constexpr double kContention = 2.0;
    double dLeader = groups.front().dScore;
    for (const Group& g : groups) {
        dLeader = std::max(dLeader, g.dScore);
    }
    std::vector<std::optional<double>> likelihoods;
    std::optional<double> bestLikelihood;
    for (const Group& g : groups) {
        // Only readings of one character per byte are compared: their
        // likelihoods sum over the same positions.
        const bool bScored = g.text.size() == head.size() && g.dScore >= dLeader - kContention;
        likelihoods.push_back(bScored ? LetterLogLikelihood(g.text) : std::nullopt);
        if (likelihoods.back() && (!bestLikelihood || *likelihoods.back() > *bestLikelihood)) {
            bestLikelihood = likelihoods.back();
        }
    }
    for (std::size_t i = 0; i < groups.size(); ++i) {
        if (likelihoods[i]) {
            groups[i].dScore +=
                std::max(kLetterWeight * (*likelihoods[i] - *bestLikelihood), -kLetterCap);
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

namespace {

// Ranks a file's head read one byte past kDetectionHeadBytes: that byte only
// tells whether the file goes on beyond the head.
std::vector<DetectionCandidate> DetectHead(std::vector<std::byte>& head) {
    const bool bTruncated = head.size() > kDetectionHeadBytes;
    head.resize(std::min(head.size(), kDetectionHeadBytes));
    return DetectEncoding(head, bTruncated);
}

} // namespace

FileDetection DetectFileEncoding(const std::filesystem::path& path) {
    FileDetection result;
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
    result.candidates = DetectHead(head);
    return result;
}

FileDetection DetectOpenFileEncoding(const platform::CSourceFile& source) {
    FileDetection result;
    std::vector<std::byte> head(kDetectionHeadBytes + 1);
    try {
        head.resize(source.ReadHead(head.data(), head.size()));
    } catch (const CFileException& e) {
        result.error = std::string(std::strerror(e.m_lOsError));
        return result;
    }
    result.candidates = DetectHead(head);
    return result;
}

} // namespace varnolt
