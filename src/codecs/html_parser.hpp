// The HTML stage's lexer: cuts decoded text into runs of text and markup items
// (tags, comments, server-script blocks) for the processor. A piece that grows
// long is passed on in parts as far as the processor can decide on a part
// alone; only a piece whose output depends on its end (an old charset meta tag
// in the head, say) is still held whole.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace varnolt {

class CHtmlProcessor;

class CHtmlParser {
public:
    enum ScriptKind : std::int32_t { kNoScript = 0, kAsp = 1, kPhp = 2 };

    static constexpr std::size_t kInitialCapacity = 32768;
    // Units a piece may collect before the parser tries to pass part of it on.
    static constexpr std::size_t kLongPiece = 65536;

    explicit CHtmlParser(CHtmlProcessor& processor);
    virtual ~CHtmlParser() = default;
    CHtmlParser(const CHtmlParser&) = delete;
    CHtmlParser& operator=(const CHtmlParser&) = delete;

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
    // Tests cut pieces short to reach the long-piece paths with small input.
    void SetLongPieceLength(std::size_t units) {
        m_nLongPiece = m_nPassOnAt = units < 8 ? 8 : units;
    }

private:
    void HandOn();
    bool OpensScript(char16_t c) const;
    void PassOnPart();
    void PassOnPartIfLong() {
        if (m_strPending.size() >= m_nPassOnAt && !m_bHoldWhole) {
            PassOnPart();
        }
    }

    CHtmlProcessor& m_processor;
    ScriptKind m_nScriptKind = kNoScript;
    std::int32_t m_nState = 0;
    bool m_bDone = false;
    std::u16string m_strPending;
    std::size_t m_nLongPiece = kLongPiece;
    // The next try waits until the piece has grown by half again, so a part
    // that cannot go yet (a long character reference) is not rescanned often.
    std::size_t m_nPassOnAt = kLongPiece;
    bool m_bLongPiece = false; // part of the current piece has gone to the processor
    bool m_bHoldWhole = false; // the rest of the current piece stays until it ends
};

} // namespace varnolt
