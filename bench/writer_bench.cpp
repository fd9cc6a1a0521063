// Target writer throughput: UTF-16 input bytes per second through WriteUtf8 or
// WriteUtf16Be and the 64 KiB buffered write (to /dev/null), plus the bare
// UTF-8 kernels on Western, Cyrillic and Hangul text for comparison.
#include "convert/log.hpp"
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

} // namespace

BENCHMARK(BM_WriteUtf8_Ascii);
BENCHMARK(BM_WriteUtf8_MixedWestern);
BENCHMARK(BM_WriteUtf16Be_MixedWestern);
BENCHMARK(BM_WriteUtf16Le_MixedWestern);
BENCHMARK(BM_EncodeUtf8Fast_Ascii);
BENCHMARK(BM_EncodeUtf8Fast_MixedWestern);
BENCHMARK(BM_EncodeUtf8Fast_Cyrillic);
BENCHMARK(BM_EncodeUtf8Fast_Hangul);
BENCHMARK(BM_EncodeUtf8Scalar_Ascii);
BENCHMARK(BM_EncodeUtf8Scalar_MixedWestern);
BENCHMARK(BM_EncodeUtf8Scalar_Cyrillic);
BENCHMARK(BM_EncodeUtf8Scalar_Hangul);
