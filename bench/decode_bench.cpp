// Reader + converter throughput per decoder family, in bytes of source per second.
//
// Each benchmark converts a 16 MiB file of realistic text (a few paragraphs of
// prose in the language, repeated with numbered lines) through the real
// CSourceFileReader and CUnicodeConverter. Sinks: "Utf16" takes the decoded
// text as it is (the decode cost alone); "Utf8" also encodes it to UTF-8 into
// memory with the target writer's encoder (a single-byte page's straight from
// its bytes, as the writer takes them); "Writer" goes through the whole
// target writer (UTF-8) into /dev/null.
#include "decode/code_page_decoder.hpp"
#include "decode/decoders.hpp"
#include "decode/source_file_reader.hpp"
#include "decode/unicode_converter.hpp"
#include "output/target_file_writer.hpp"
#include "output/text_sink.hpp"
#include "output/utf_encode.hpp"
#include "platform/text_utf.hpp"
#include "settings/file_status.hpp"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace varnolt;

constexpr std::size_t kFileSize = 16 << 20;

const char* const kWestern =
    "The old lighthouse keeper walked along the shore every morning, counting the boats that "
    "had come in overnight. Caf\u00e9 owners opened their shutters, and the smell of fresh bread "
    "drifted through the narrow streets. \u00dcber den D\u00e4chern der Stadt zogen die M\u00f6wen "
    "ihre Kreise, while children hurried to school with their satchels bouncing. \u00ab "
    "D\u00e9j\u00e0 "
    "vu \u00bb, murmured the fisherman, as the tide rose once more \u2014 and nobody noticed.\n";

const char* const kRussian =
    "\u0421\u0442\u0430\u0440\u044b\u0439 \u0441\u043c\u043e\u0442\u0440\u0438\u0442\u0435\u043b"
    "\u044c \u043c\u0430\u044f\u043a\u0430 \u043a\u0430\u0436\u0434\u043e\u0435 \u0443\u0442\u0440"
    "\u043e \u0448\u0451\u043b \u0432\u0434\u043e\u043b\u044c \u0431\u0435\u0440\u0435\u0433\u0430 "
    "\u0438 \u0441\u0447\u0438\u0442\u0430\u043b \u043b\u043e\u0434\u043a\u0438, \u0432\u0435\u0440"
    "\u043d\u0443\u0432\u0448\u0438\u0435\u0441\u044f \u0437\u0430 \u043d\u043e\u0447\u044c. \u0412"
    "\u043b\u0430\u0434\u0435\u043b\u044c\u0446\u044b \u043a\u0430\u0444\u0435 \u043e\u0442\u043a"
    "\u0440\u044b\u0432\u0430\u043b\u0438 \u0441\u0442\u0430\u0432\u043d\u0438, \u0438 \u0437\u0430"
    "\u043f\u0430\u0445 \u0441\u0432\u0435\u0436\u0435\u0433\u043e \u0445\u043b\u0435\u0431\u0430 "
    "\u0440\u0430\u0437\u043d\u043e\u0441\u0438\u043b\u0441\u044f \u043f\u043e \u0443\u0437\u043a"
    "\u0438\u043c \u0443\u043b\u0438\u0446\u0430\u043c. \u00ab\u0412\u0441\u0451 \u043f\u043e\u0432"
    "\u0442\u043e\u0440\u044f\u0435\u0442\u0441\u044f\u00bb, \u2014 \u0442\u0438\u0445\u043e "
    "\u0441\u043a\u0430\u0437\u0430\u043b \u0440\u044b\u0431\u0430\u043a.\n";

const char* const kJapanese =
    "\u53e4\u3044\u706f\u53f0\u5b88\u306f\u6bce\u671d\u6d77\u5cb8\u3092\u6b69\u304d\u3001\u591c"
    "\u306e\u9593\u306b\u623b\u3063\u3066\u304d\u305f\u8239\u3092\u6570\u3048\u3066\u3044\u305f"
    "\u3002\u55ab\u8336\u5e97\u306e\u4e3b\u4eba\u305f\u3061\u306f\u96e8\u6238\u3092\u958b\u3051"
    "\u3001\u713c\u304d\u305f\u3066\u306e\u30d1\u30f3\u306e\u9999\u308a\u304c\u72ed\u3044\u901a"
    "\u308a\u306b\u6f02\u3063\u305f\u3002\u753a\u306e\u5c4b\u6839\u306e\u4e0a\u3067\u306f\u30ab"
    "\u30e2\u30e1\u304c\u8f2a\u3092\u63cf\u304d\u3001\u5b50\u4f9b\u305f\u3061\u306f\u5b66\u6821"
    "\u3078\u6025\u3044\u3060\u3002\u300c\u307e\u305f\u540c\u3058\u3060\u300d\u3068\u6f01\u5e2b"
    "\u306f\u3064\u3076\u3084\u3044\u305f\u3002\n";

// Markup around short Japanese phrases: mostly ASCII, a few pairs per line.
const char* const kJapaneseHtml =
    "<tr class=\"row\"><td><a href=\"/harbour/boats.html#north\">\u8239</a></td>"
    "<td style=\"text-align: right\">\u6d77\u5cb8</td><td>lighthouse keeper</td></tr>\n";

const char* const kChinese =
    "\u8001\u706f\u5854\u770b\u5b88\u4eba\u6bcf\u5929\u65e9\u4e0a\u6cbf\u7740\u6d77\u5cb8\u6563"
    "\u6b65\uff0c\u6570\u7740\u591c\u91cc\u5f52\u6765\u7684\u6e14\u8239\u3002\u5496\u5561\u9986"
    "\u7684\u8001\u677f\u4eec\u6253\u5f00\u767e\u53f6\u7a97\uff0c\u65b0\u9c9c\u9762\u5305\u7684"
    "\u9999\u5473\u98d8\u6563\u5728\u72ed\u7a84\u7684\u8857\u9053\u4e0a\u3002\u6d77\u9e25\u5728"
    "\u57ce\u5e02\u7684\u5c4b\u9876\u4e0a\u7a7a\u76d8\u65cb\uff0c\u5b69\u5b50\u4eec\u80cc\u7740"
    "\u4e66\u5305\u5306\u5306\u8d76\u5f80\u5b66\u6821\u3002\u201c\u53c8\u662f\u8fd9\u6837\uff0c"
    "\u201d\u6e14\u592b\u4f4e\u58f0\u8bf4\u9053\u3002\n";

// The same text in traditional characters (Big5 has no simplified ones).
const char* const kChineseTraditional =
    "\u8001\u71c8\u5854\u770b\u5b88\u4eba\u6bcf\u5929\u65e9\u4e0a\u6cbf\u8457\u6d77\u5cb8"
    "\u6563\u6b65\uff0c\u6578\u8457\u591c\u88e1\u6b78\u4f86\u7684\u6f01\u8239\u3002\u5496"
    "\u5561\u9928\u7684\u8001\u95c6\u5011\u6253\u958b\u767e\u8449\u7a97\uff0c\u65b0\u9bae"
    "\u9eb5\u5305\u7684\u9999\u5473\u98c4\u6563\u5728\u72f9\u7a84\u7684\u8857\u9053\u4e0a"
    "\u3002\u6d77\u9dd7\u5728\u57ce\u5e02\u7684\u5c4b\u9802\u4e0a\u7a7a\u76e4\u65cb\uff0c"
    "\u5b69\u5b50\u5011\u80cc\u8457\u66f8\u5305\u5306\u5306\u8d95\u5f80\u5b78\u6821\u3002"
    "\u300c\u53c8\u662f\u9019\u6a23\uff0c\u300d\u6f01\u592b\u4f4e\u8072\u8aaa\u9053\u3002\n";

const char* const kKorean =
    "\ub299\uc740 \ub4f1\ub300\uc9c0\uae30\ub294 \ub9e4\uc77c \uc544\uce68 \ud574\uc548\uc744 "
    "\ub530\ub77c \uac78\uc73c\uba70 \ubc24\uc0ac\uc774 \ub3cc\uc544\uc628 \ubc30\ub4e4\uc744 "
    "\uc138\uc5c8\ub2e4. \uce74\ud398 \uc8fc\uc778\ub4e4\uc740 \ub36b\ubb38\uc744 \uc5f4\uc5c8"
    "\uace0, \uac13 \uad6c\uc6b4 \ube75 \ub0c4\uc0c8\uac00 \uc881\uc740 \uac70\ub9ac\uc5d0 "
    "\ud37c\uc84c\ub2e4. \"\ub610 \ub611\uac19\uad70\" \ud558\uace0 \uc5b4\ubd80\uac00 \uc911"
    "\uc5bc\uac70\ub838\ub2e4.\n";

// Unicode -> bytes of a code page, built by decoding every one- and two-byte
// sequence with our own decoder (the benchmark needs no other encoder).
std::string Encode(std::int32_t codePage, const std::u16string& text) {
    std::map<char16_t, std::string> reverse;
    auto tryBytes = [&](const std::string& bytes) {
        CDecoderState state;
        DecodeError error = DecodeError::kNone;
        char16_t out[16];
        const std::size_t n =
            MultiByteToWideChar(codePage, true, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                bytes.size(), true, state, out, 16, error);
        if (error == DecodeError::kNone && n == 1 && !reverse.count(out[0])) {
            reverse[out[0]] = bytes;
        }
    };
    for (int b = 1; b < 256; ++b) {
        tryBytes(std::string(1, static_cast<char>(b)));
        for (int t = 1; t < 256 && b >= 0x80; ++t) {
            tryBytes(std::string{static_cast<char>(b), static_cast<char>(t)});
        }
    }
    std::string out;
    for (char16_t u : text) {
        const auto it = reverse.find(u);
        if (it == reverse.end()) {
            throw std::runtime_error("benchmark text not encodable in " + std::to_string(codePage));
        }
        out += it->second;
    }
    return out;
}

// Numbered repetitions of the paragraph up to the file size.
std::u16string Repeat(const char* paragraph) {
    const std::u16string text = Utf8ToUtf16(paragraph);
    std::u16string out;
    for (int line = 1; out.size() * 2 < kFileSize; ++line) {
        out += Utf8ToUtf16(std::to_string(line) + ". ");
        out += text;
    }
    return out;
}

// The benchmark's source files, removed when the program ends.
struct CSourceFiles {
    std::vector<std::string> paths;
    ~CSourceFiles() {
        for (const std::string& path : paths) {
            std::remove(path.c_str());
        }
    }
};

CSourceFiles s_sourceFiles;

std::string MakeFile(const std::string& name, const std::string& bytes) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string path = std::string(tmp ? tmp : "/tmp") + "/varnolt_bench_" +
                             std::to_string(::getpid()) + "_" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    s_sourceFiles.paths.push_back(path);
    return path;
}

struct Source {
    std::int32_t nCodePage;
    std::string path;
    std::size_t nBytes;
};

Source Prepare(std::int32_t codePage, const char* paragraph) {
    static std::map<std::pair<std::int32_t, const char*>, Source> cache;
    const auto key = std::make_pair(codePage, paragraph);
    if (cache.count(key)) {
        return cache[key];
    }
    const std::u16string text = Repeat(paragraph);
    std::string bytes;
    if (codePage == 1200) {
        for (char16_t u : text) {
            bytes += static_cast<char>(u & 0xFF);
            bytes += static_cast<char>(u >> 8);
        }
    } else if (codePage == 65001) {
        bytes = Utf16ToUtf8(text);
    } else {
        bytes = Encode(codePage, text);
    }
    // End on a whole line (for UTF-16, a whole "\n" unit).
    const std::size_t unit = codePage == 1200 ? 2 : 1;
    bytes.resize(std::min(bytes.size(), kFileSize) / unit * unit);
    while (!bytes.empty() && bytes[bytes.size() - unit] != '\n') {
        bytes.resize(bytes.size() - unit);
    }
    Source source{codePage,
                  MakeFile(std::to_string(codePage) + "_" +
                               std::to_string(reinterpret_cast<std::uintptr_t>(paragraph)),
                           bytes),
                  bytes.size()};
    cache[key] = source;
    return source;
}

class CUtf16Sink : public CTextSink {
public:
    void WriteUnicode(std::u16string_view text) override {
        m_nUnits += text.size();
        benchmark::DoNotOptimize(text.data());
    }
    std::size_t m_nUnits = 0;
};

// Encodes to UTF-8 into memory with the target writer's encoder.
class CUtf8Sink : public CTextSink {
public:
    void WriteUnicode(std::u16string_view text) override {
        if (m_buffer.size() < MaxUtf8Size(text.size())) {
            m_buffer.resize(MaxUtf8Size(text.size()));
        }
        m_nBytes += EncodeUtf8(text.data(), text.size(), m_buffer.data());
        benchmark::DoNotOptimize(m_buffer.data());
    }
    bool TakesMappedBytes() const override { return true; }
    void WriteMapped(const std::uint8_t* bytes, std::size_t n, const CByteTextMap& map) override {
        if (m_buffer.size() < MaxUtf8Size(n) + 1) {
            m_buffer.resize(MaxUtf8Size(n) + 1);
        }
        m_nBytes += EncodeMappedUtf8(bytes, n, map.utf8, m_buffer.data());
        benchmark::DoNotOptimize(m_buffer.data());
    }
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_nBytes = 0;
};

// The whole target writer (UTF-8, its 64 KB buffer) writing to /dev/null.
class CWriterSink : public CTextSink {
public:
    CWriterSink() : m_writer(COutputOptions{}, m_status) { m_writer.OpenForBenchmark("/dev/null"); }
    void WriteUnicode(std::u16string_view text) override { m_writer.WriteUnicode(text); }
    bool TakesMappedBytes() const override { return true; }
    void WriteMapped(const std::uint8_t* bytes, std::size_t n, const CByteTextMap& map) override {
        m_writer.WriteMapped(bytes, n, map);
    }

private:
    class CNoLog : public IFileStatusSink {
    public:
        void SetStatus(std::int64_t, int, int) override {}
    } m_status;
    CTargetFileWriter m_writer;
};

class CNoStatus : public IFileStatusSink {
public:
    void SetStatus(std::int64_t, int, int) override {
        throw std::runtime_error("conversion failed");
    }
};

template <class Sink>
void Convert(benchmark::State& state, std::int32_t codePage, const char* text) {
    const Source source = Prepare(codePage, text);
    Sink sink;
    CNoStatus status;
    CUnicodeConverter converter(sink, nullptr, status);
    CSourceFileReader reader(converter, status);
    converter.SetCodePage(codePage);
    reader.SetCodePage(codePage);
    for (auto _ : state) {
        converter.StartFile(false);
        if (!reader.Read(source.path)) {
            state.SkipWithError("conversion failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source.nBytes));
}

#define VARNOLT_DECODE_BENCH(name, cp, text)                                                       \
    void BM_##name##_Utf16(benchmark::State& s) {                                                  \
        Convert<CUtf16Sink>(s, cp, text);                                                          \
    }                                                                                              \
    void BM_##name##_Utf8(benchmark::State& s) {                                                   \
        Convert<CUtf8Sink>(s, cp, text);                                                           \
    }                                                                                              \
    void BM_##name##_Writer(benchmark::State& s) {                                                 \
        Convert<CWriterSink>(s, cp, text);                                                         \
    }                                                                                              \
    BENCHMARK(BM_##name##_Utf16)->Unit(benchmark::kMillisecond);                                   \
    BENCHMARK(BM_##name##_Utf8)->Unit(benchmark::kMillisecond);                                    \
    BENCHMARK(BM_##name##_Writer)->Unit(benchmark::kMillisecond)

// The double-byte decoder alone on text in memory, in the reader's chunks:
// no file, no converter.
// kernel < 0: the decoder's own choice.
void DecodeDoubleByte(benchmark::State& state, std::int32_t codePage, const char* paragraph,
                      int kernel = -1) {
    using Kernel = CDoubleByteDecoder::Kernel;
    if (kernel >= 0 && !CDoubleByteDecoder::CpuSupports(static_cast<Kernel>(kernel))) {
        state.SkipWithError("the CPU lacks this kernel's instructions");
        return;
    }
    std::string bytes = Encode(codePage, Repeat(paragraph));
    bytes.resize(std::min(bytes.size(), kFileSize));
    while (!bytes.empty() && bytes.back() != '\n') {
        bytes.pop_back();
    }
    const auto* decoder = dynamic_cast<const CDoubleByteDecoder*>(FindDecoder(codePage));
    constexpr std::size_t kChunk = CSourceFileReader::kChunkSize;
    // Chunks end on a character, as the reader's do.
    std::vector<std::size_t> cuts{0};
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = decoder->IsLeadByte(static_cast<std::uint8_t>(bytes[i])) ? 2 : 1;
        if (i + length - cuts.back() > kChunk) {
            cuts.push_back(i);
        }
        i += length;
    }
    cuts.push_back(bytes.size());
    std::vector<char16_t> out(decoder->MaxOutput(kChunk));
    const auto* in = reinterpret_cast<const std::uint8_t*>(bytes.data());
    for (auto _ : state) {
        for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
            CDecoderState decoderState;
            std::size_t nOut = 0;
            const std::size_t n = cuts[k + 1] - cuts[k];
            const DecodeError error =
                kernel < 0
                    ? decoder->Decode(in + cuts[k], n, true, true, decoderState, out.data(), nOut)
                    : decoder->DecodeWith(static_cast<Kernel>(kernel), in + cuts[k], n, true,
                                          out.data(), nOut);
            if (error != DecodeError::kNone) {
                state.SkipWithError("decoding failed");
                return;
            }
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void BM_Japanese932_Kernel(benchmark::State& s) {
    DecodeDoubleByte(s, 932, kJapanese);
}
void BM_Chinese936_Kernel(benchmark::State& s) {
    DecodeDoubleByte(s, 936, kChinese);
}
void BM_Japanese932_KernelPlain(benchmark::State& s) {
    DecodeDoubleByte(s, 932, kJapanese, 0);
}
void BM_Japanese932_KernelAvx512(benchmark::State& s) {
    DecodeDoubleByte(s, 932, kJapanese, 1);
}
void BM_Chinese936_KernelPlain(benchmark::State& s) {
    DecodeDoubleByte(s, 936, kChinese, 0);
}
void BM_Chinese936_KernelAvx512(benchmark::State& s) {
    DecodeDoubleByte(s, 936, kChinese, 1);
}
void BM_JapaneseHtml932_Kernel(benchmark::State& s) {
    DecodeDoubleByte(s, 932, kJapaneseHtml);
}
BENCHMARK(BM_Japanese932_Kernel)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JapaneseHtml932_Kernel)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Japanese932_KernelPlain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Japanese932_KernelAvx512)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Chinese936_Kernel)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Chinese936_KernelPlain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Chinese936_KernelAvx512)->Unit(benchmark::kMillisecond);

VARNOLT_DECODE_BENCH(Western1252, 1252, kWestern);
VARNOLT_DECODE_BENCH(Russian1251, 1251, kRussian);
VARNOLT_DECODE_BENCH(Japanese932, 932, kJapanese);
VARNOLT_DECODE_BENCH(Chinese936, 936, kChinese);
VARNOLT_DECODE_BENCH(Chinese54936, 54936, kChinese);
VARNOLT_DECODE_BENCH(Chinese950, 950, kChineseTraditional);
VARNOLT_DECODE_BENCH(Korean949, 949, kKorean);
VARNOLT_DECODE_BENCH(WesternUtf8, 65001, kWestern);
VARNOLT_DECODE_BENCH(RussianUtf8, 65001, kRussian);
VARNOLT_DECODE_BENCH(WesternUtf16Le, 1200, kWestern);
VARNOLT_DECODE_BENCH(JapaneseUtf16Le, 1200, kJapanese);

} // namespace
