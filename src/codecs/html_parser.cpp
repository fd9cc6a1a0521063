// The HTML lexer: twelve states over single characters, with whole runs of
// ordinary characters scanned at once in the states that stay put on them.
#include "codecs/html_parser.hpp"

#include "codecs/html_processor.hpp"
#include "platform/text_utf.hpp"

#include <algorithm>

namespace varnolt {

namespace {

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

bool IsQuote(char16_t c) {
    return c == u'"' || c == u'\'';
}

} // namespace

CHtmlParser::CHtmlParser(CHtmlProcessor& processor) : m_processor(processor) {
    m_strPending.reserve(kInitialCapacity);
}

void CHtmlParser::Reset(std::string_view extension) {
    m_strPending.clear();
    m_nState = kText;
    m_bDone = false;
    m_bLongPiece = false;
    m_bHoldWhole = false;
    m_nPassOnAt = m_nLongPiece;
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

bool CHtmlParser::OpensScript(char16_t c) const {
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

void CHtmlParser::HandOn() {
    const bool done = m_bLongPiece ? m_processor.EndLongPiece(m_strPending)
                                   : m_processor.ProcessPiece(m_strPending);
    if (done) {
        m_bDone = true;
    }
    m_strPending.clear();
    m_bLongPiece = false;
    m_bHoldWhole = false;
    m_nPassOnAt = m_nLongPiece;
}

void CHtmlParser::PassOnPart() {
    if (!m_bLongPiece) {
        if (!m_processor.BeginLongPiece(m_strPending)) {
            // What the processor writes depends on the whole piece.
            m_bHoldWhole = true;
            return;
        }
        m_bLongPiece = true;
    }
    bool holdRest = false;
    const std::size_t used = m_processor.PassOnLongPart(m_strPending, holdRest);
    m_strPending.erase(0, used);
    m_bHoldWhole = holdRest;
    m_nPassOnAt = m_strPending.size() + std::max(m_nLongPiece, m_strPending.size() / 2);
}

void CHtmlParser::Feed(std::u16string_view text) {
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
        PassOnPartIfLong();
        const char16_t c = text[i];
        switch (m_nState) {
        case kText: {
            std::size_t lt = text.find(u'<', i);
            if (lt == std::u16string_view::npos) {
                m_strPending.append(text.substr(i));
                PassOnPartIfLong();
                return;
            }
            m_strPending.append(text.substr(i, lt - i));
            // "<" starts a new piece.
            if (!m_strPending.empty() || m_bLongPiece) {
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
                PassOnPartIfLong();
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

void CHtmlParser::Flush() {
    if (!m_strPending.empty() || m_bLongPiece) {
        HandOn();
    }
}

} // namespace varnolt
