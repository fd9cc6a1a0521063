// The HTML stage's lexer: cuts decoded text into runs of text and whole markup
// items (tags, comments, server-script blocks) for the processor.
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

private:
    void HandOn();
    bool OpensScript(char16_t c) const;

    CHtmlProcessor& m_processor;
    ScriptKind m_nScriptKind = kNoScript;
    std::int32_t m_nState = 0;
    bool m_bDone = false;
    std::u16string m_strPending;
};

} // namespace varnolt
