// What the converter needs of the HTML stage, and the adapter over the
// charset meta processor's parser and processor.
#pragma once

#include <cstdint>
#include <string_view>

namespace varnolt {

class CHtmlParser;
class CHtmlProcessor;

class IHtmlStage {
public:
    virtual ~IHtmlStage() = default;
    // The parser's feed operation: takes one piece of the file's text; the
    // stage writes to the target writer itself.
    virtual void Feed(std::u16string_view text) = 0;
    // End of the file: hands any text the parser still holds to the meta
    // processor and empties the parser.
    virtual void FlushPending() = 0;
    // True when a charset meta tag was added or updated in the current file.
    virtual bool MetaTagAddedOrUpdated() const = 0;
    // The current file's entry in the conversion log, as the processor holds it.
    virtual std::int64_t LogIndex() const = 0;
};

// The worker's CHtmlParser and CHtmlProcessor as the converter sees them.
class CHtmlStage final : public IHtmlStage {
public:
    CHtmlStage(CHtmlParser& parser, CHtmlProcessor& processor)
        : m_parser(parser), m_processor(processor) {}
    void Feed(std::u16string_view text) override;
    void FlushPending() override;
    bool MetaTagAddedOrUpdated() const override;
    std::int64_t LogIndex() const override;

private:
    CHtmlParser& m_parser;
    CHtmlProcessor& m_processor;
};

} // namespace varnolt
