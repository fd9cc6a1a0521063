// The HTML stage as it was before it learnt to pass long pieces on in bounded
// memory: every piece is held whole. The differential test and the fuzz target
// run it beside the real stage and require the same output, byte for byte.
#pragma once

#include "codecs/html_entity_codec.hpp"
#include "output/text_sink.hpp"
#include "platform/text_utf.hpp"
#include "settings/app_settings.hpp"
#include "settings/string_table.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace varnolt::reference_html {

class CReferenceHtmlProcessor {
public:
    enum HtmlStage : std::int32_t {
        kPassThrough = 0, // head finished and entity conversion off
        kOutsideHead = 1, // before the head, or after it with entity conversion
        kScriptOutsideHead = 2,
        kInHead = 3,
        kScriptInHead = 4,
        kTitle = 5,
    };

    static constexpr std::size_t kInitialCapacity = 32768;

    // One processor per worker for a whole run. The two flags are the run's
    // options; NoHtmlComment is read from the settings whenever a tag is written.
    CReferenceHtmlProcessor(CTextSink& writer, CAppSettings& settings, bool addMetaTag,
                            bool convertEntities);
    virtual ~CReferenceHtmlProcessor() = default;
    CReferenceHtmlProcessor(const CReferenceHtmlProcessor&) = delete;
    CReferenceHtmlProcessor& operator=(const CReferenceHtmlProcessor&) = delete;

    // Before every file: no meta tag written yet, stage "outside head".
    void Reset(std::int64_t logIndex);

    // Writes one piece (a text run or one whole markup item). True when no
    // more cutting is needed: everything that follows passes unchanged.
    bool ProcessPiece(std::u16string_view piece);

    bool AddMetaTag() const { return m_bAddMetaTag; }
    bool ConvertEntities() const { return m_bConvertEntities; }
    bool MetaWritten() const { return m_bMetaWritten; }
    // The file must get warning 5009: a meta tag was asked for and none added.
    bool MetaTagMissing() const { return m_bAddMetaTag && !m_bMetaWritten; }
    HtmlStage Stage() const { return m_nStage; }
    std::int64_t LogIndex() const { return m_nLogIndex; }

private:
    void HandleMarkup(std::u16string_view piece);
    void Normalize(std::u16string_view piece);
    bool IsCharsetMeta(std::u16string_view piece) const;
    void InsertMetaTag();
    void InsertHeadBlock();
    void CommentOutMeta(std::u16string_view piece);
    void LeaveHead();
    void Write(std::u16string_view text);
    void WriteText(int id);

    CTextSink& m_writer;
    CAppSettings& m_settings;
    bool m_bAddMetaTag;
    bool m_bConvertEntities;
    HtmlStage m_nStage = kOutsideHead;
    bool m_bMetaWritten = false;
    std::uint64_t m_nPieceLength = 0;
    std::u16string m_strNormalized;
    CHtmlEntityCodec m_entityCodec;
    std::int64_t m_nLogIndex = 0;
    std::u16string m_strDecoded;
    std::u16string m_texts[7]; // texts 5500 to 5506
};

class CReferenceHtmlParser {
public:
    enum ScriptKind : std::int32_t { kNoScript = 0, kAsp = 1, kPhp = 2 };

    static constexpr std::size_t kInitialCapacity = 32768;

    explicit CReferenceHtmlParser(CReferenceHtmlProcessor& processor);
    virtual ~CReferenceHtmlParser() = default;
    CReferenceHtmlParser(const CReferenceHtmlParser&) = delete;
    CReferenceHtmlParser& operator=(const CReferenceHtmlParser&) = delete;

    // Before every file, after the processor's Reset. The extension (no dot,
    // any case) chooses the script blocks: "asp" <% %>; "php", "php3",
    // "phtml" <? ?> and <% %>; anything else none.
    void Reset(std::string_view extension);

    // One piece of the file's decoded text, in file order. A piece may end
    // anywhere: the output does not depend on how the text is cut.
    void Feed(std::u16string_view text);

    // End of the file: hands on whatever is still collected.
    void Flush();

    bool IsDone() const { return m_bDone; }
    bool HasPending() const { return !m_strPending.empty(); }
    ScriptKind GetScriptKind() const { return m_nScriptKind; }

private:
    void HandOn();
    bool OpensScript(char16_t c) const;

    CReferenceHtmlProcessor& m_processor;
    ScriptKind m_nScriptKind = kNoScript;
    std::int32_t m_nState = 0;
    bool m_bDone = false;
    std::u16string m_strPending;
};

inline namespace detail {

enum : int {
    kTextAddedBegin = 5500,
    kTextAddedEnd = 5501,
    kTextRemovedBegin = 5502,
    kTextRemovedEnd = 5503,
    kTextMetaTag = 5504,
    kTextHeadOpen = 5505,
    kTextHeadClose = 5506,
};

inline char16_t FoldAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c;
}

// Compares ignoring the case of ASCII letters; `pattern` is ASCII.
inline bool StartsWithNoCase(std::u16string_view text, std::string_view pattern) {
    if (text.size() < pattern.size()) {
        return false;
    }
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (FoldAscii(text[i]) != FoldAscii(static_cast<char16_t>(pattern[i]))) {
            return false;
        }
    }
    return true;
}

inline bool EqualsNoCase(std::u16string_view text, std::string_view pattern) {
    return text.size() == pattern.size() && StartsWithNoCase(text, pattern);
}

inline bool EndsWithNoCase(std::u16string_view text, std::string_view pattern) {
    return text.size() >= pattern.size() &&
           StartsWithNoCase(text.substr(text.size() - pattern.size()), pattern);
}

inline bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

inline bool IsHtmlSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// A meta tag with a charset attribute (<meta charset="big5">) declares the
// page's encoding as surely as the Content-Type form, so it has to go too or
// the page would name two charsets. The attributes are read from the piece as
// it stands, one by one, so "charset=" inside another attribute's value
// (content="charset=x") or a longer name (data-charset) does not count.
inline bool HasCharsetAttribute(std::u16string_view piece) {
    // The piece begins with "<" and ends with ">".
    if (piece.size() <= 6 || !StartsWithNoCase(piece, "<meta") ||
        !(IsHtmlSpace(piece[5]) || piece[5] == u'/')) {
        return false;
    }
    const std::size_t end = piece.size() - 1;
    std::size_t i = 5;
    while (i < end) {
        while (i < end && (IsHtmlSpace(piece[i]) || piece[i] == u'/')) {
            ++i;
        }
        const std::size_t nameStart = i;
        while (i < end && !IsHtmlSpace(piece[i]) && piece[i] != u'/' && piece[i] != u'=') {
            ++i;
        }
        const std::u16string_view name = piece.substr(nameStart, i - nameStart);
        std::size_t j = i;
        while (j < end && IsHtmlSpace(piece[j])) {
            ++j;
        }
        if (j == end || piece[j] != u'=') {
            continue;
        }
        if (EqualsNoCase(name, "charset")) {
            return true;
        }
        // Skip the value: quoted up to its own closing quote, else up to a blank.
        i = j + 1;
        while (i < end && IsHtmlSpace(piece[i])) {
            ++i;
        }
        if (i < end && (piece[i] == u'"' || piece[i] == u'\'')) {
            const std::size_t close = piece.find(piece[i], i + 1);
            i = close == std::u16string_view::npos ? end : close + 1;
        } else {
            while (i < end && !IsHtmlSpace(piece[i])) {
                ++i;
            }
        }
    }
    return false;
}

} // namespace detail

inline CReferenceHtmlProcessor::CReferenceHtmlProcessor(CTextSink& writer, CAppSettings& settings,
                                                        bool addMetaTag, bool convertEntities)
    : m_writer(writer), m_settings(settings), m_bAddMetaTag(addMetaTag),
      m_bConvertEntities(convertEntities) {
    m_strNormalized.reserve(kInitialCapacity);
    for (int id = kTextAddedBegin; id <= kTextHeadClose; ++id) {
        m_texts[id - kTextAddedBegin] = Utf8ToUtf16(LoadString(id));
    }
}

inline void CReferenceHtmlProcessor::Reset(std::int64_t logIndex) {
    m_bMetaWritten = false;
    m_nPieceLength = 0;
    m_nStage = kOutsideHead;
    m_nLogIndex = logIndex;
}

inline void CReferenceHtmlProcessor::Write(std::u16string_view text) {
    if (!text.empty()) {
        m_writer.WriteUnicode(text);
    }
}

inline void CReferenceHtmlProcessor::WriteText(int id) {
    Write(m_texts[id - kTextAddedBegin]);
}

inline bool CReferenceHtmlProcessor::ProcessPiece(std::u16string_view piece) {
    m_nPieceLength = piece.size() + 1;
    if (piece.size() >= 4 && piece.front() == u'<' && piece.back() == u'>') {
        if (m_nStage == kPassThrough) {
            Write(piece);
        } else {
            HandleMarkup(piece);
        }
    } else if (m_bConvertEntities && m_nStage != kScriptOutsideHead && m_nStage != kScriptInHead &&
               piece.find(u'&') != std::u16string_view::npos) {
        m_strDecoded.clear();
        m_entityCodec.DecodeAppend(piece, m_strDecoded);
        Write(m_strDecoded);
    } else {
        Write(piece);
    }
    return m_nStage == kPassThrough && !m_bConvertEntities;
}

inline void CReferenceHtmlProcessor::Normalize(std::u16string_view piece) {
    m_strNormalized.clear();
    if (m_strNormalized.capacity() < piece.size()) {
        m_strNormalized.reserve(piece.size());
    }
    bool inSpace = false;
    for (const char16_t c : piece) {
        if (IsHtmlSpace(c)) {
            if (!inSpace) {
                m_strNormalized.push_back(u' ');
            }
            inSpace = true;
            continue;
        }
        inSpace = false;
        m_strNormalized.push_back(c == u'"' ? u'\'' : c);
    }
    // The piece ends with ">", so the copy does too.
    const std::size_t n = m_strNormalized.size();
    if (n >= 2 && m_strNormalized[n - 2] == u' ') {
        m_strNormalized.erase(n - 2, 1);
    }
}

inline void CReferenceHtmlProcessor::LeaveHead() {
    m_nStage = m_bConvertEntities ? kOutsideHead : kPassThrough;
}

inline void CReferenceHtmlProcessor::HandleMarkup(std::u16string_view piece) {
    if (StartsWith(piece, u"<!--") || StartsWith(piece, u"<%") || StartsWith(piece, u"<?")) {
        Write(piece);
        return;
    }
    Normalize(piece);
    const std::u16string_view copy = m_strNormalized;
    switch (m_nStage) {
    case kOutsideHead:
        if (StartsWithNoCase(copy, "<SCRIPT")) {
            m_nStage = kScriptOutsideHead;
        } else if (EqualsNoCase(copy, "<HEAD>") || StartsWithNoCase(copy, "<HEAD ")) {
            // A head with attributes (profile=...) is still the document's
            // head: were it passed over, an old charset meta inside it would
            // stay in force ahead of the one we add, and a browser would read
            // the UTF-8 text in the old encoding.
            m_nStage = kInHead;
            Write(piece);
            if (m_bAddMetaTag && !m_bMetaWritten) {
                InsertMetaTag();
            }
            return;
        } else if (StartsWithNoCase(copy, "<BODY")) {
            LeaveHead();
            if (m_bAddMetaTag && !m_bMetaWritten) {
                InsertHeadBlock();
            }
        }
        break;
    case kScriptOutsideHead:
        if (EqualsNoCase(copy, "</SCRIPT>")) {
            m_nStage = kOutsideHead;
        }
        break;
    case kInHead:
        if (StartsWithNoCase(copy, "<SCRIPT")) {
            m_nStage = kScriptInHead;
        } else if (EqualsNoCase(copy, "<TITLE>")) {
            m_nStage = kTitle;
        } else if (EqualsNoCase(copy, "</HEAD>")) {
            LeaveHead();
        } else if (m_bAddMetaTag && IsCharsetMeta(piece)) {
            CommentOutMeta(piece);
            return;
        }
        break;
    case kScriptInHead:
    case kTitle:
        if (EqualsNoCase(copy, m_nStage == kScriptInHead ? "</SCRIPT>" : "</TITLE>")) {
            m_nStage = kInHead;
        } else if (EqualsNoCase(copy, "</HEAD>")) {
            LeaveHead();
        }
        break;
    default:
        break;
    }
    Write(piece);
}

inline bool CReferenceHtmlProcessor::IsCharsetMeta(std::u16string_view piece) const {
    const std::u16string_view copy = m_strNormalized;
    if (StartsWithNoCase(copy, "<meta http-equiv='content-type' content='text/html; charset=") ||
        StartsWithNoCase(copy, "<meta http-equiv='content-type' content='text/html;charset=") ||
        StartsWithNoCase(copy, "<meta http-equiv=content-type content='text/html; charset=")) {
        return true;
    }
    static constexpr std::string_view kEnding = "http-equiv=Content-Type>";
    static constexpr std::string_view kContentSpaced = "<meta content='text/html; charset=";
    static constexpr std::string_view kContent = "<meta content='text/html;charset=";
    if (EndsWithNoCase(copy, kEnding) && copy.size() >= kEnding.size() + kContent.size() &&
        (StartsWithNoCase(copy, kContentSpaced) || StartsWithNoCase(copy, kContent))) {
        return true;
    }
    return HasCharsetAttribute(piece);
}

inline void CReferenceHtmlProcessor::InsertMetaTag() {
    if (m_settings.NoHtmlComment.Get()) {
        WriteText(kTextMetaTag);
    } else {
        WriteText(kTextAddedBegin);
        WriteText(kTextMetaTag);
        WriteText(kTextAddedEnd);
    }
    m_bMetaWritten = true;
}

inline void CReferenceHtmlProcessor::InsertHeadBlock() {
    if (m_settings.NoHtmlComment.Get()) {
        WriteText(kTextHeadOpen);
        WriteText(kTextMetaTag);
        WriteText(kTextHeadClose);
    } else {
        WriteText(kTextAddedBegin);
        WriteText(kTextHeadOpen);
        WriteText(kTextMetaTag);
        WriteText(kTextHeadClose);
        WriteText(kTextAddedEnd);
    }
    m_bMetaWritten = true;
}

inline void CReferenceHtmlProcessor::CommentOutMeta(std::u16string_view piece) {
    // With NoHtmlComment the old tag is dropped.
    if (!m_settings.NoHtmlComment.Get()) {
        WriteText(kTextRemovedBegin);
        Write(piece);
        WriteText(kTextRemovedEnd);
    }
}

inline namespace detail {

// Lexer states.
enum : std::int32_t {
    kText = 0,
    kMarkupEnded = 1, // the character before closed a markup item
    kAfterLt = 2,
    kAfterLtBang = 3,
    kAfterLtBangDash = 4,
    kComment = 5,
    kCommentDash = 6,
    kCommentDashDash = 7,
    kTag = 8,
    kQuoted = 9,
    kScriptBlock = 10,
    kScriptCloseMark = 11,
};

inline bool IsQuote(char16_t c) {
    return c == u'"' || c == u'\'';
}

} // namespace detail

inline CReferenceHtmlParser::CReferenceHtmlParser(CReferenceHtmlProcessor& processor)
    : m_processor(processor) {
    m_strPending.reserve(kInitialCapacity);
}

inline void CReferenceHtmlParser::Reset(std::string_view extension) {
    m_strPending.clear();
    m_nState = kText;
    m_bDone = false;
    if (EqualsIgnoringAsciiCase(extension, "asp")) {
        m_nScriptKind = kAsp;
    } else if (EqualsIgnoringAsciiCase(extension, "php") ||
               EqualsIgnoringAsciiCase(extension, "php3") ||
               EqualsIgnoringAsciiCase(extension, "phtml")) {
        m_nScriptKind = kPhp;
    } else {
        m_nScriptKind = kNoScript;
    }
}

inline bool CReferenceHtmlParser::OpensScript(char16_t c) const {
    // The same characters close a block as open it.
    switch (m_nScriptKind) {
    case kAsp:
        return c == u'%';
    case kPhp:
        return c == u'%' || c == u'?';
    default:
        return false;
    }
}

inline void CReferenceHtmlParser::HandOn() {
    if (m_processor.ProcessPiece(m_strPending)) {
        m_bDone = true;
    }
    m_strPending.clear();
}

inline void CReferenceHtmlParser::Feed(std::u16string_view text) {
    if (m_bDone) {
        m_processor.ProcessPiece(text);
        return;
    }
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        if (m_nState == kMarkupEnded) {
            m_nState = kText;
            HandOn();
            if (m_bDone) {
                // From here on every piece would be written unchanged, so the
                // rest of the text goes on at once instead of being cut.
                m_processor.ProcessPiece(text.substr(i));
                return;
            }
        }
        const char16_t c = text[i];
        switch (m_nState) {
        case kText: {
            std::size_t lt = text.find(u'<', i);
            if (lt == std::u16string_view::npos) {
                m_strPending.append(text.substr(i));
                return;
            }
            m_strPending.append(text.substr(i, lt - i));
            // "<" starts a new piece.
            if (!m_strPending.empty()) {
                HandOn();
                if (m_bDone) {
                    m_processor.ProcessPiece(text.substr(lt));
                    return;
                }
            }
            m_strPending.push_back(u'<');
            m_nState = kAfterLt;
            i = lt + 1;
            continue;
        }
        case kAfterLt:
            if (c == u'!') {
                m_nState = kAfterLtBang;
            } else if (OpensScript(c)) {
                m_nState = kScriptBlock;
            } else if (IsQuote(c)) {
                m_nState = kQuoted;
            } else {
                m_nState = kTag;
            }
            break;
        case kAfterLtBang:
            m_nState = c == u'-' ? kAfterLtBangDash : kTag;
            break;
        case kAfterLtBangDash:
            m_nState = c == u'-' ? kComment : kTag;
            break;
        case kCommentDash:
            m_nState = c == u'-' ? kCommentDashDash : kComment;
            break;
        case kCommentDashDash:
            m_nState = c == u'>' ? kMarkupEnded : c == u'-' ? kCommentDashDash : kComment;
            break;
        case kScriptCloseMark:
            m_nState = c == u'>' ? kMarkupEnded : kScriptBlock;
            break;
        default: {
            // Comment, tag, quoted value and script block stay in their state
            // on most characters: copy up to the next one that matters.
            std::size_t j = i;
            const std::int32_t state = m_nState;
            for (; j < n; ++j) {
                const char16_t d = text[j];
                if (state == kComment) {
                    if (d == u'-') {
                        m_nState = kCommentDash;
                        break;
                    }
                } else if (state == kTag) {
                    if (IsQuote(d)) {
                        m_nState = kQuoted;
                        break;
                    }
                    if (d == u'>') {
                        m_nState = kMarkupEnded;
                        break;
                    }
                } else if (state == kQuoted) {
                    if (IsQuote(d)) {
                        m_nState = kTag;
                        break;
                    }
                } else if (OpensScript(d)) {
                    m_nState = kScriptCloseMark;
                    break;
                }
            }
            if (j == n) {
                m_strPending.append(text.substr(i));
                return;
            }
            m_strPending.append(text.substr(i, j + 1 - i));
            i = j + 1;
            continue;
        }
        }
        m_strPending.push_back(c);
        ++i;
    }
}

inline void CReferenceHtmlParser::Flush() {
    if (!m_strPending.empty()) {
        HandOn();
    }
}

} // namespace varnolt::reference_html
