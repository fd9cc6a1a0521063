// The HTML stage's writer: head tracking, the charset meta tag, old meta tags
// commented out or dropped, and entity decoding of text runs.
#include "codecs/html_processor.hpp"

#include "output/text_sink.hpp"
#include "platform/text_utf.hpp"
#include "settings/app_settings.hpp"
#include "settings/string_table.hpp"

namespace varnolt {

namespace {

enum : int {
    kTextAddedBegin = 5500,
    kTextAddedEnd = 5501,
    kTextRemovedBegin = 5502,
    kTextRemovedEnd = 5503,
    kTextMetaTag = 5504,
    kTextHeadOpen = 5505,
    kTextHeadClose = 5506,
};

char16_t FoldAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c;
}

// Compares ignoring the case of ASCII letters; `pattern` is ASCII.
bool StartsWithNoCase(std::u16string_view text, std::string_view pattern) {
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

bool EqualsNoCase(std::u16string_view text, std::string_view pattern) {
    return text.size() == pattern.size() && StartsWithNoCase(text, pattern);
}

bool EndsWithNoCase(std::u16string_view text, std::string_view pattern) {
    return text.size() >= pattern.size() &&
           StartsWithNoCase(text.substr(text.size() - pattern.size()), pattern);
}

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool IsHtmlSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// A meta tag with a charset attribute (<meta charset="big5">) declares the
// page's encoding as surely as the Content-Type form, so it has to go too or
// the page would name two charsets. The attributes are read from the piece as
// it stands, one by one, so "charset=" inside another attribute's value
// (content="charset=x") or a longer name (data-charset) does not count.
bool HasCharsetAttribute(std::u16string_view piece) {
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

} // namespace

CHtmlProcessor::CHtmlProcessor(CTextSink& writer, CAppSettings& settings, bool addMetaTag,
                               bool convertEntities)
    : m_writer(writer), m_settings(settings), m_bAddMetaTag(addMetaTag),
      m_bConvertEntities(convertEntities) {
    m_strNormalized.reserve(kInitialCapacity);
    for (int id = kTextAddedBegin; id <= kTextHeadClose; ++id) {
        m_texts[id - kTextAddedBegin] = Utf8ToUtf16(LoadString(id));
    }
}

void CHtmlProcessor::Reset(std::int64_t logIndex) {
    m_bMetaWritten = false;
    m_nPieceLength = 0;
    m_nStage = kOutsideHead;
    m_nLogIndex = logIndex;
}

void CHtmlProcessor::Write(std::u16string_view text) {
    if (!text.empty()) {
        m_writer.WriteUnicode(text);
    }
}

void CHtmlProcessor::WriteText(int id) {
    Write(m_texts[id - kTextAddedBegin]);
}

bool CHtmlProcessor::ProcessPiece(std::u16string_view piece) {
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

void CHtmlProcessor::Normalize(std::u16string_view piece) {
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

void CHtmlProcessor::LeaveHead() {
    m_nStage = m_bConvertEntities ? kOutsideHead : kPassThrough;
}

void CHtmlProcessor::HandleMarkup(std::u16string_view piece) {
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

bool CHtmlProcessor::IsCharsetMeta(std::u16string_view piece) const {
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

void CHtmlProcessor::InsertMetaTag() {
    if (m_settings.NoHtmlComment.Get()) {
        WriteText(kTextMetaTag);
    } else {
        WriteText(kTextAddedBegin);
        WriteText(kTextMetaTag);
        WriteText(kTextAddedEnd);
    }
    m_bMetaWritten = true;
}

void CHtmlProcessor::InsertHeadBlock() {
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

void CHtmlProcessor::CommentOutMeta(std::u16string_view piece) {
    // With NoHtmlComment the old tag is dropped.
    if (!m_settings.NoHtmlComment.Get()) {
        WriteText(kTextRemovedBegin);
        Write(piece);
        WriteText(kTextRemovedEnd);
    }
}

} // namespace varnolt
