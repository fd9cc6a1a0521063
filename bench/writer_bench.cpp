// Target writer throughput: UTF-16 input bytes per second through WriteUtf8 or
// WriteUtf16Be and the 64 KiB buffered write (to /dev/null), plus the bare
// UTF-8 kernels on Western, Cyrillic and Hangul text and on Western and
// Japanese prose for comparison, and 1252 prose to UTF-8 straight from its
// bytes against the decode-then-encode route, on one thread and on two, and
// both kernels on prose through each instruction-set path.
#include "convert/log.hpp"
#include "decode/code_page_decoder.hpp"
#include "output/target_file_writer.hpp"
#include "output/utf_encode.hpp"

#include <benchmark/benchmark.h>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace varnolt;

constexpr std::size_t kTextUnits = 1 << 21; // 4 MiB of UTF-16 per iteration
constexpr std::size_t kPieceUnits = 8192;   // about what the converter hands on

// Words of English-like text; `nonAsciiPercent` of the characters are
// accented Western letters (and the odd euro sign).
std::u16string MakeText(unsigned nonAsciiPercent) {
    std::mt19937 rng(42);
    const char16_t accented[] = {u'\u00E9', u'\u00E8', u'\u00FC', u'\u00F6', u'\u00E4',
                                 u'\u00E7', u'\u00F1', u'\u00DF', u'\u20AC'};
    std::u16string text;
    text.reserve(kTextUnits);
    while (text.size() < kTextUnits) {
        const unsigned r = rng() % 1000;
        if (r < nonAsciiPercent * 10) {
            text += accented[rng() % std::size(accented)];
        } else if (r < 160) {
            text += u' ';
        } else if (r < 170) {
            text += u"\r\n";
        } else {
            text += static_cast<char16_t>('a' + rng() % 26);
        }
    }
    text.resize(kTextUnits);
    return text;
}

// Words of 1 to 9 letters from `count` consecutive characters at `first`
// (Cyrillic: two UTF-8 bytes each; Hangul: three), with spaces, commas and
// line breaks between them, as in running text.
std::u16string MakeWords(char16_t first, unsigned count) {
    std::mt19937 rng(7);
    std::u16string text;
    text.reserve(kTextUnits + 16);
    while (text.size() < kTextUnits) {
        for (unsigned k = 1 + rng() % 9; k > 0; --k) {
            text += static_cast<char16_t>(first + rng() % count);
        }
        const unsigned r = rng() % 20;
        text += r == 0 ? u", " : r == 1 ? u".\r\n" : u" ";
    }
    text.resize(kTextUnits);
    return text;
}

const std::u16string& Cyrillic() {
    static const std::u16string text = MakeWords(u'\u0410', 64);
    return text;
}

const std::u16string& Hangul() {
    static const std::u16string text = MakeWords(u'\uAC00', 2000);
    return text;
}

// Sentences of the benchmark corpus's words (tools/make_corpus.py): French and
// English with accents and the typographic punctuation of real prose (dashes,
// curly quotes, ellipses: three UTF-8 bytes each), or Japanese without spaces.
std::u16string MakeProse(bool japanese) {
    static const char16_t* const kWest[] = {u"le",
                                            u"la",
                                            u"les",
                                            u"un",
                                            u"une",
                                            u"des",
                                            u"du",
                                            u"de",
                                            u"et",
                                            u"\u00E0",
                                            u"\u00E9t\u00E9",
                                            u"tr\u00E8s",
                                            u"caf\u00E9",
                                            u"cr\u00E8me",
                                            u"\u00E9l\u00E8ve",
                                            u"h\u00F4tel",
                                            u"na\u00EFve",
                                            u"gar\u00E7on",
                                            u"fa\u00E7ade",
                                            u"d\u00E9j\u00E0",
                                            u"o\u00F9",
                                            u"\u00EAtre",
                                            u"fen\u00EAtre",
                                            u"for\u00EAt",
                                            u"th\u00E9\u00E2tre",
                                            u"the",
                                            u"a",
                                            u"of",
                                            u"and",
                                            u"to",
                                            u"in",
                                            u"is",
                                            u"was",
                                            u"for",
                                            u"on",
                                            u"with",
                                            u"as",
                                            u"by",
                                            u"at",
                                            u"from",
                                            u"that",
                                            u"this",
                                            u"river",
                                            u"morning",
                                            u"village",
                                            u"library",
                                            u"report",
                                            u"market",
                                            u"window",
                                            u"garden",
                                            u"letter",
                                            u"quickly",
                                            u"slowly",
                                            u"often",
                                            u"never",
                                            u"always",
                                            u"\u2014",
                                            u"\u201Cquoted\u201D",
                                            u"\u2018words\u2019",
                                            u"\u2026"};
    static const char16_t* const kJa[] = {u"\u79C1",
                                          u"\u306F",
                                          u"\u65E5\u672C",
                                          u"\u8A9E",
                                          u"\u306E",
                                          u"\u6587\u7AE0",
                                          u"\u3092",
                                          u"\u66F8\u304D",
                                          u"\u307E\u3059",
                                          u"\u4ECA\u65E5",
                                          u"\u5929\u6C17",
                                          u"\u304C",
                                          u"\u826F\u3044",
                                          u"\u56F3\u66F8\u9928",
                                          u"\u3067",
                                          u"\u672C",
                                          u"\u8AAD\u307F",
                                          u"\u99C5",
                                          u"\u524D",
                                          u"\u5E02\u5834",
                                          u"\u671D",
                                          u"\u591C",
                                          u"\u53CB\u9054",
                                          u"\u3068",
                                          u"\u4E00\u7DD2",
                                          u"\u306B",
                                          u"\u884C\u304D",
                                          u"\u307E\u3057\u305F",
                                          u"\u9759\u304B",
                                          u"\u306A",
                                          u"\u753A",
                                          u"\u5DDD",
                                          u"\u685C",
                                          u"\u54B2\u3044",
                                          u"\u3066",
                                          u"\u3044",
                                          u"\u308B",
                                          u"\u5831\u544A",
                                          u"\u66F8",
                                          u"\u4F1A\u8B70",
                                          u"\u8CC7\u6599",
                                          u"\uFF76\uFF80\uFF76\uFF85",
                                          u"\u30C6\u30B9\u30C8",
                                          u"\u6771\u4EAC",
                                          u"\u5927\u962A"};
    std::mt19937 rng(japanese ? 932 : 1252);
    std::u16string text;
    text.reserve(kTextUnits + 256);
    while (text.size() < kTextUnits) {
        for (unsigned s = 3 + rng() % 5; s > 0; --s) {
            for (unsigned w = 6 + rng() % 13; w > 0; --w) {
                text += japanese ? kJa[rng() % std::size(kJa)] : kWest[rng() % std::size(kWest)];
                text += japanese ? u"" : u" ";
            }
            text += japanese ? u"\u3002" : u". ";
        }
        text += u"\r\n\r\n";
    }
    text.resize(kTextUnits);
    return text;
}

const std::u16string& Prose(bool japanese) {
    static const std::u16string west = MakeProse(false);
    static const std::u16string ja = MakeProse(true);
    return japanese ? ja : west;
}

const std::u16string& Text(unsigned nonAsciiPercent) {
    static const std::u16string ascii = MakeText(0);
    static const std::u16string mixed = MakeText(3);
    return nonAsciiPercent == 0 ? ascii : mixed;
}

void RunWriter(benchmark::State& state, int format, unsigned nonAsciiPercent) {
    const std::u16string& text = Text(nonAsciiPercent);
    CLog log;
    CTargetFileWriter writer(COutputOptions{kOutputPrefixedCopy, format, "_u_", false, 0}, log);
    writer.OpenForBenchmark("/dev/null");
    for (auto _ : state) {
        for (std::size_t at = 0; at < text.size(); at += kPieceUnits) {
            writer.WriteUnicode(std::u16string_view(text).substr(at, kPieceUnits));
        }
    }
    writer.Close();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size() * 2));
}

void BM_WriteUtf8_Ascii(benchmark::State& state) {
    RunWriter(state, kFormatUtf8, 0);
}
void BM_WriteUtf8_MixedWestern(benchmark::State& state) {
    RunWriter(state, kFormatUtf8, 3);
}
void BM_WriteUtf16Be_MixedWestern(benchmark::State& state) {
    RunWriter(state, kFormatUtf16Be, 3);
}
void BM_WriteUtf16Le_MixedWestern(benchmark::State& state) {
    RunWriter(state, kFormatUtf16Le, 3);
}

template <std::size_t (*Encode)(const char16_t*, std::size_t, std::uint8_t*)>
void RunKernel(benchmark::State& state, const std::u16string& text) {
    std::vector<std::uint8_t> out(MaxUtf8Size(kPieceUnits));
    for (auto _ : state) {
        for (std::size_t at = 0; at < text.size(); at += kPieceUnits) {
            benchmark::DoNotOptimize(Encode(text.data() + at, kPieceUnits, out.data()));
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size() * 2));
}

void BM_EncodeUtf8Fast_Ascii(benchmark::State& state) {
    RunKernel<EncodeUtf8>(state, Text(0));
}
void BM_EncodeUtf8Fast_MixedWestern(benchmark::State& state) {
    RunKernel<EncodeUtf8>(state, Text(3));
}
void BM_EncodeUtf8Fast_Cyrillic(benchmark::State& state) {
    RunKernel<EncodeUtf8>(state, Cyrillic());
}
void BM_EncodeUtf8Fast_Hangul(benchmark::State& state) {
    RunKernel<EncodeUtf8>(state, Hangul());
}
void BM_EncodeUtf8Fast_WesternProse(benchmark::State& state) {
    RunKernel<EncodeUtf8>(state, Prose(false));
}
void BM_EncodeUtf8Fast_JapaneseProse(benchmark::State& state) {
    RunKernel<EncodeUtf8>(state, Prose(true));
}
void BM_EncodeUtf8Scalar_Ascii(benchmark::State& state) {
    RunKernel<EncodeUtf8Scalar>(state, Text(0));
}
void BM_EncodeUtf8Scalar_MixedWestern(benchmark::State& state) {
    RunKernel<EncodeUtf8Scalar>(state, Text(3));
}
void BM_EncodeUtf8Scalar_Cyrillic(benchmark::State& state) {
    RunKernel<EncodeUtf8Scalar>(state, Cyrillic());
}
void BM_EncodeUtf8Scalar_Hangul(benchmark::State& state) {
    RunKernel<EncodeUtf8Scalar>(state, Hangul());
}
void BM_EncodeUtf8Scalar_WesternProse(benchmark::State& state) {
    RunKernel<EncodeUtf8Scalar>(state, Prose(false));
}
void BM_EncodeUtf8Scalar_JapaneseProse(benchmark::State& state) {
    RunKernel<EncodeUtf8Scalar>(state, Prose(true));
}

// The Western prose as 1252 bytes, with that page's units and UTF-8 map:
// the text a 1252 source hands the writer.
struct CWesternBytes {
    std::string bytes;
    const char16_t* units = nullptr;
    CByteUtf8Map map{};
};

const CWesternBytes& Western1252() {
    static const CWesternBytes west = [] {
        CWesternBytes w;
        w.units = SingleByteUnits(1252);
        BuildByteUtf8Map(w.units, w.map);
        for (const char16_t u : Prose(false)) {
            char byte = '?';
            for (unsigned b = 1; b < 256; ++b) {
                if (w.units[b] == u) {
                    byte = static_cast<char>(b);
                    break;
                }
            }
            w.bytes += byte;
        }
        return w;
    }();
    return west;
}

// Bytes of 1252 prose to UTF-8 straight from the bytes, per piece as the
// converter hands them on. In source bytes per second; with two threads,
// both convert at once (the figure is their sum), which shows how far two
// threads of this kernel scale on the machine.
template <class Encode> void EncodeMappedProse(benchmark::State& state, Encode encode) {
    const CWesternBytes& west = Western1252();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(west.bytes.data());
    std::vector<std::uint8_t> out(MaxUtf8Size(kPieceUnits) + 1);
    for (auto _ : state) {
        for (std::size_t at = 0; at + kPieceUnits <= west.bytes.size(); at += kPieceUnits) {
            benchmark::DoNotOptimize(encode(bytes + at, kPieceUnits, west.map, out.data()));
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(west.bytes.size()));
}

void BM_EncodeMappedUtf8_Western1252Prose(benchmark::State& state) {
    EncodeMappedProse(state, [](const std::uint8_t* src, std::size_t n, const CByteUtf8Map& map,
                                std::uint8_t* dst) { return EncodeMappedUtf8(src, n, map, dst); });
}

// Both kernels of prose through each path the processor runs (the argument:
// 0 plain, 1 SSE2, 2 AVX-512), for a machine whose best path is not the one
// the figures above were taken on.
void BM_EncodeMappedUtf8Path_Western1252Prose(benchmark::State& state) {
    const auto path = static_cast<Utf8EncoderPath>(state.range(0));
    if (!CanUseUtf8EncoderPath(path)) {
        state.SkipWithError("the processor lacks this path");
        return;
    }
    EncodeMappedProse(
        state, [path](const std::uint8_t* src, std::size_t n, const CByteUtf8Map& map,
                      std::uint8_t* dst) { return EncodeMappedUtf8On(path, src, n, map, dst); });
}

void BM_EncodeUtf8Path_JapaneseProse(benchmark::State& state) {
    const auto path = static_cast<Utf8EncoderPath>(state.range(0));
    if (!CanUseUtf8EncoderPath(path)) {
        state.SkipWithError("the processor lacks this path");
        return;
    }
    const std::u16string& text = Prose(true);
    std::vector<std::uint8_t> out(MaxUtf8Size(kPieceUnits));
    for (auto _ : state) {
        for (std::size_t at = 0; at < text.size(); at += kPieceUnits) {
            benchmark::DoNotOptimize(EncodeUtf8On(path, text.data() + at, kPieceUnits, out.data()));
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size() * 2));
}

// The same through the UTF-16 step: each piece decoded by the page's table
// decoder, then encoded from its units.
void BM_DecodeThenEncodeUtf8_Western1252Prose(benchmark::State& state) {
    const CWesternBytes& west = Western1252();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(west.bytes.data());
    std::vector<char16_t> units(kPieceUnits);
    std::vector<std::uint8_t> out(MaxUtf8Size(kPieceUnits));
    const CCodePageDecoder* decoder = FindDecoder(1252);
    for (auto _ : state) {
        for (std::size_t at = 0; at + kPieceUnits <= west.bytes.size(); at += kPieceUnits) {
            CDecoderState decoderState;
            std::size_t n = 0;
            decoder->Decode(bytes + at, kPieceUnits, false, true, decoderState, units.data(), n);
            benchmark::DoNotOptimize(EncodeUtf8(units.data(), n, out.data()));
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(west.bytes.size()));
}

} // namespace

BENCHMARK(BM_WriteUtf8_Ascii);
BENCHMARK(BM_WriteUtf8_MixedWestern);
BENCHMARK(BM_WriteUtf16Be_MixedWestern);
BENCHMARK(BM_WriteUtf16Le_MixedWestern);
BENCHMARK(BM_EncodeUtf8Fast_Ascii);
BENCHMARK(BM_EncodeUtf8Fast_MixedWestern);
BENCHMARK(BM_EncodeUtf8Fast_Cyrillic);
BENCHMARK(BM_EncodeUtf8Fast_Hangul);
BENCHMARK(BM_EncodeUtf8Fast_WesternProse);
BENCHMARK(BM_EncodeUtf8Fast_JapaneseProse);
BENCHMARK(BM_EncodeUtf8Scalar_Ascii);
BENCHMARK(BM_EncodeUtf8Scalar_MixedWestern);
BENCHMARK(BM_EncodeUtf8Scalar_Cyrillic);
BENCHMARK(BM_EncodeUtf8Scalar_Hangul);
BENCHMARK(BM_EncodeUtf8Scalar_WesternProse);
BENCHMARK(BM_EncodeUtf8Scalar_JapaneseProse);
BENCHMARK(BM_EncodeMappedUtf8_Western1252Prose)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_EncodeMappedUtf8Path_Western1252Prose)->DenseRange(0, 2);
BENCHMARK(BM_EncodeUtf8Path_JapaneseProse)->DenseRange(0, 2);
BENCHMARK(BM_DecodeThenEncodeUtf8_Western1252Prose)->Threads(1)->Threads(2)->UseRealTime();
