// Throughput of the HTML stage on a 1 MiB document fed in 8 KiB pieces, as the
// converter hands it on: pass-through after the head, and entity conversion
// over the whole file. Bytes are those of the (ASCII) document.
#include "codecs/html_parser.hpp"
#include "codecs/html_processor.hpp"
#include "output/text_sink.hpp"
#include "settings/app_settings.hpp"

#include <benchmark/benchmark.h>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

using namespace varnolt;

namespace {

constexpr std::size_t kDocumentBytes = 1 << 20;
constexpr std::size_t kPiece = 8192;

// Copies into a 64 KiB buffer like the target writer does, without a file.
class CBufferSink : public CTextSink {
public:
    CBufferSink() : m_buffer(32768) {}
    void WriteUnicode(std::u16string_view text) override {
        while (!text.empty()) {
            if (m_nUsed == m_buffer.size()) {
                m_nUsed = 0;
            }
            const std::size_t n = std::min(text.size(), m_buffer.size() - m_nUsed);
            std::memcpy(m_buffer.data() + m_nUsed, text.data(), n * sizeof(char16_t));
            m_nUsed += n;
            text.remove_prefix(n);
        }
        benchmark::DoNotOptimize(m_buffer.data());
    }

private:
    std::vector<char16_t> m_buffer;
    std::size_t m_nUsed = 0;
};

std::u16string MakeDocument() {
    std::string doc = "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<title>Report &copy; 2026</title>\r\n"
                      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=big5\">\r\n"
                      "<script>var a = 1 < 2 && 3 > 2;</script>\r\n</head>\r\n<body>\r\n";
    const std::string block =
        "<p class=\"text\">Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do "
        "eiusmod tempor incididunt ut labore et dolore magna aliqua &copy; &#8364; &amp; "
        "<b>Ut enim</b> ad minim veniam, quis nostrud exercitation ullamco laboris nisi ut "
        "aliquip ex ea commodo consequat.</p>\r\n<!-- note -->\r\n"
        "<a href=\"page.html?a=1&amp;b=2\" title='x'>Duis aute irure dolor</a> in "
        "reprehenderit in voluptate velit esse cillum dolore eu fugiat nulla pariatur.<br>\r\n";
    while (doc.size() + block.size() < kDocumentBytes - 16) {
        doc += block;
    }
    doc += "</body></html>\r\n";
    doc.resize(kDocumentBytes, ' ');
    return std::u16string(doc.begin(), doc.end());
}

CAppSettings& Settings() {
    // Never destroyed: a benchmark leaves no settings file behind.
    static CAppSettings* settings =
        new CAppSettings("/tmp/varnolt-bench-" + std::to_string(getpid()) + "/settings.reg");
    return *settings;
}

void RunStage(benchmark::State& state, bool convertEntities) {
    const std::u16string document = MakeDocument();
    CBufferSink sink;
    CHtmlProcessor processor(sink, Settings(), true, convertEntities);
    CHtmlParser parser(processor);
    for (auto _ : state) {
        processor.Reset(0);
        parser.Reset("html");
        for (std::size_t i = 0; i < document.size(); i += kPiece) {
            parser.Feed(std::u16string_view(document).substr(i, kPiece));
        }
        parser.Flush();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kDocumentBytes));
}

void BM_HtmlStagePassThrough(benchmark::State& state) {
    RunStage(state, false);
}
void BM_HtmlStageEntityConversion(benchmark::State& state) {
    RunStage(state, true);
}

} // namespace

BENCHMARK(BM_HtmlStagePassThrough);
BENCHMARK(BM_HtmlStageEntityConversion);
