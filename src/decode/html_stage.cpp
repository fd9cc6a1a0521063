// CHtmlStage: forwards the converter's calls to the worker's HTML parser and processor.
#include "decode/html_stage.hpp"

#include "codecs/html_parser.hpp"
#include "codecs/html_processor.hpp"

namespace varnolt {

void CHtmlStage::Feed(std::u16string_view text) {
    m_parser.Feed(text);
}

void CHtmlStage::FlushPending() {
    m_parser.Flush();
}

bool CHtmlStage::MetaTagAddedOrUpdated() const {
    return m_processor.MetaWritten();
}

std::int64_t CHtmlStage::LogIndex() const {
    return m_processor.LogIndex();
}

} // namespace varnolt
