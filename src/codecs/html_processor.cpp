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

// How much of `text` the entity codec reads the same whatever follows: all of
// it, or up to the "&" of a reference that the end of the text cuts off. The
// scan takes the codec's own steps, so a cut there decodes as the whole text
// would. With `untilChange` it stops instead at the "&" of the first reference
// the codec turns into something else, and sets `changed`.
std::size_t DecodableLength(CHtmlEntityCodec& codec, std::u16string& scratch,
                            std::u16string_view text, bool untilChange, bool& changed) {
    changed = false;
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const std::size_t amp = text.find(u'&', i);
        if (amp == std::u16string_view::npos) {
            return n;
        }
        const ReferenceScan scan = ScanReference(text, amp);
        const std::size_t j = scan.nEnd;
        const bool numeric = scan.bNumeric;
        if (scan.bNotNumber) {
            i = j + 1;
            continue;
        }
        if (j == n) {
            return amp;
        }
        const bool named = !numeric && j > amp + 1;
        if (text[j] == u';' && (numeric || named) && untilChange) {
            const std::u16string_view reference = text.substr(amp, j + 1 - amp);
            scratch.clear();
            codec.DecodeAppend(reference, scratch);
            if (scratch != reference) {
                changed = true;
                return amp;
            }
        }
        i = j + 1;
    }
    return n;
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

bool CHtmlProcessor::BeginLongPiece(std::u16string_view start) {
    m_bLongMarkup = !start.empty() && start.front() == u'<';
    m_bLongVerbatim = m_nStage == kPassThrough || StartsWith(start, u"<!--") ||
                      StartsWith(start, u"<%") || StartsWith(start, u"<?");
    m_bLongDecoded =
        m_bConvertEntities && m_nStage != kScriptOutsideHead && m_nStage != kScriptInHead;
    m_nLongLast = 0;
    m_strLongCopy.clear();
    m_nLongCopyLength = 0;
    m_bLongInSpace = false;
    if (m_bLongMarkup && !m_bLongVerbatim && m_bAddMetaTag) {
        // An old charset meta tag is replaced and the head block goes before
        // the body tag, but neither may be written for a tag the file's end
        // cuts off (that is text): such a tag has to be seen whole.
        const bool mayBeMeta = start.size() > 5 && StartsWithNoCase(start, "<meta") &&
                               (IsHtmlSpace(start[5]) || start[5] == u'/');
        if (m_nStage == kInHead && mayBeMeta) {
            return false;
        }
        if (m_nStage == kOutsideHead && !m_bMetaWritten && StartsWithNoCase(start, "<body")) {
            return false;
        }
    }
    return true;
}

void CHtmlProcessor::TrackLongPart(std::u16string_view part) {
    if (part.empty()) {
        return;
    }
    m_nLongLast = part.back();
    // Past kLongCopyLength units the copy cannot equal any tag the stage
    // follows, and only its start still counts.
    for (std::size_t i = 0; i < part.size() && m_nLongCopyLength <= kLongCopyLength; ++i) {
        const char16_t c = part[i];
        const bool space = IsHtmlSpace(c);
        if (space && m_bLongInSpace) {
            continue;
        }
        m_bLongInSpace = space;
        if (m_strLongCopy.size() < kLongCopyLength) {
            m_strLongCopy.push_back(space ? u' ' : c == u'"' ? u'\'' : c);
        }
        ++m_nLongCopyLength;
    }
}

std::size_t CHtmlProcessor::PassOnLongPart(std::u16string_view part, bool& holdRest) {
    holdRest = false;
    bool changed = false;
    std::size_t used = part.size();
    if (m_bLongDecoded && m_bLongMarkup) {
        // Markup is written as it stands, but a tag or comment that the file's
        // end cuts off is text and gets its references decoded: only what
        // reads the same both ways can go before the end is known.
        used = DecodableLength(m_entityCodec, m_strDecoded, part, true, changed);
        holdRest = changed;
    } else if (m_bLongDecoded) {
        used = DecodableLength(m_entityCodec, m_strDecoded, part, false, changed);
        m_strDecoded.clear();
        m_entityCodec.DecodeAppend(part.substr(0, used), m_strDecoded);
        Write(m_strDecoded);
        return used;
    }
    if (m_bLongMarkup) {
        TrackLongPart(part.substr(0, used));
    }
    Write(part.substr(0, used));
    return used;
}

bool CHtmlProcessor::EndLongPiece(std::u16string_view rest) {
    TrackLongPart(rest);
    if (m_bLongMarkup && m_nLongLast == u'>') {
        MarkupEffect effect = MarkupEffect::kNone;
        if (!m_bLongVerbatim) {
            // The copy is whole when short; then its blank before ">" goes, as
            // Normalize drops it.
            const std::size_t n = m_strLongCopy.size();
            if (m_nLongCopyLength <= kLongCopyLength && n >= 2 && m_strLongCopy[n - 2] == u' ') {
                m_strLongCopy.erase(n - 2, 1);
            }
            // BeginLongPiece kept whole every tag that could be a charset meta
            // or a body tag before which the head block goes.
            effect = FollowMarkup(m_strLongCopy, {});
        }
        Write(rest);
        if (effect == MarkupEffect::kMetaTagAfter) {
            InsertMetaTag();
        }
    } else if (m_bLongDecoded && rest.find(u'&') != std::u16string_view::npos) {
        m_strDecoded.clear();
        m_entityCodec.DecodeAppend(rest, m_strDecoded);
        Write(m_strDecoded);
    } else {
        Write(rest);
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
    switch (FollowMarkup(m_strNormalized, piece)) {
    case MarkupEffect::kMetaTagAfter:
        Write(piece);
        InsertMetaTag();
        break;
    case MarkupEffect::kHeadBlockBefore:
        InsertHeadBlock();
        Write(piece);
        break;
    case MarkupEffect::kCharsetMeta:
        CommentOutMeta(piece);
        break;
    case MarkupEffect::kNone:
        Write(piece);
        break;
    }
}

// Moves the stage on for a tag given its normalized copy; `piece` is the tag as
// written, needed only to tell a charset meta tag in the head.
CHtmlProcessor::MarkupEffect CHtmlProcessor::FollowMarkup(std::u16string_view copy,
                                                          std::u16string_view piece) {
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
            if (m_bAddMetaTag && !m_bMetaWritten) {
                return MarkupEffect::kMetaTagAfter;
            }
        } else if (StartsWithNoCase(copy, "<BODY")) {
            LeaveHead();
            if (m_bAddMetaTag && !m_bMetaWritten) {
                return MarkupEffect::kHeadBlockBefore;
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
        } else if (m_bAddMetaTag && IsCharsetMeta(copy, piece)) {
            return MarkupEffect::kCharsetMeta;
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
    return MarkupEffect::kNone;
}

bool CHtmlProcessor::IsCharsetMeta(std::u16string_view copy, std::u16string_view piece) const {
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
