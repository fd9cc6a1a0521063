// Fuzzes the HTML parser and processor: no crash, the output does not depend
// on how the text is cut or how soon long pieces are passed on, it is the
// output of the stage that held every piece whole, and with both options off
// the text passes unchanged.
#include "codecs/html_parser.hpp"
#include "codecs/html_processor.hpp"
#include "html_reference_stage.hpp"
#include "output/text_sink.hpp"
#include "settings/app_settings.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace varnolt;

namespace {

class CCollectingSink : public CTextSink {
public:
    void WriteUnicode(std::u16string_view text) override { m_strText.append(text); }
    std::u16string m_strText;
};

// Never destroyed, so the settings file is never written.
CAppSettings& Settings() {
    static CAppSettings* settings =
        new CAppSettings("/tmp/varnolt-fuzz-" + std::to_string(getpid()) + "/settings.reg");
    return *settings;
}

struct SResult {
    std::u16string text;
    bool metaWritten;
};

template <typename Processor, typename Parser>
SResult Run(Processor& processor, Parser& parser, CCollectingSink& sink, std::string_view extension,
            std::u16string_view text, std::size_t piece) {
    sink.m_strText.clear();
    processor.Reset(0);
    parser.Reset(extension);
    for (std::size_t i = 0; i < text.size(); i += piece) {
        parser.Feed(text.substr(i, piece));
    }
    parser.Flush();
    return {sink.m_strText, processor.MetaWritten()};
}

} // namespace

// Byte 0: options (bits 0-1 extension, 2 meta tag, 3 entities, 4 NoHtmlComment,
// 5 UTF-16LE text instead of widened bytes, 6-7 how long a piece may grow
// before it is passed on in parts); byte 1: a piece size; the rest: text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    static const char* const kExtensions[] = {"html", "asp", "php", "PHTML"};
    const std::uint8_t options = data[0];
    const std::string_view extension = kExtensions[options & 3];
    const bool addMeta = options & 4;
    const bool convert = options & 8;
    Settings().NoHtmlComment.Set((options & 16) != 0);
    std::u16string text;
    for (std::size_t i = 2; i < size; i += (options & 32) ? 2 : 1) {
        if (!(options & 32)) {
            text.push_back(static_cast<char16_t>(data[i]));
        } else if (i + 1 < size) {
            text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
        }
    }

    CCollectingSink sink;
    reference_html::CReferenceHtmlProcessor referenceProcessor(sink, Settings(), addMeta, convert);
    reference_html::CReferenceHtmlParser referenceParser(referenceProcessor);
    const SResult expected =
        Run(referenceProcessor, referenceParser, sink, extension, text, text.size() + 1);

    static const std::size_t kLongPieces[] = {8, 11, 64, CHtmlParser::kLongPiece};
    CHtmlProcessor processor(sink, Settings(), addMeta, convert);
    CHtmlParser parser(processor);
    parser.SetLongPieceLength(kLongPieces[options >> 6]);
    const SResult whole = Run(processor, parser, sink, extension, text, text.size() + 1);
    if (whole.text != expected.text || whole.metaWritten != expected.metaWritten) {
        std::abort();
    }
    if (!addMeta && !convert && whole.text != text) {
        std::abort();
    }
    const std::size_t sizes[] = {1, 2, 3, static_cast<std::size_t>(data[1]) + 1};
    for (const std::size_t piece : sizes) {
        const SResult cut = Run(processor, parser, sink, extension, text, piece);
        if (cut.text != whole.text || cut.metaWritten != whole.metaWritten) {
            std::abort();
        }
    }
    return 0;
}
