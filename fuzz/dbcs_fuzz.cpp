// Fuzzes the double-byte code pages through the reader and converter, and
// holds every decoding kernel the CPU has to the portable one.
#include "decode/decoders.hpp"
#include "decode_fuzz_common.hpp"

#include <algorithm>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace varnolt;
    static const std::int32_t pages[] = {932, 936, 949, 950, 1361, 20932};
    if (size > 0) {
        const auto* decoder =
            dynamic_cast<const CDoubleByteDecoder*>(FindDecoder(pages[data[0] % std::size(pages)]));
        // Exactly sized, so that the sanitizer sees any access past the text.
        const std::vector<std::uint8_t> in(data + 1, data + size);
        const std::size_t n = in.size();
        for (const bool bStrict : {false, true}) {
            std::vector<char16_t> plain(n);
            std::vector<char16_t> fast(n);
            std::size_t nPlain = 0;
            std::size_t nFast = 0;
            const DecodeError plainError = decoder->DecodeWith(
                CDoubleByteDecoder::Kernel::kPlain, in.data(), n, bStrict, plain.data(), nPlain);
            if (CDoubleByteDecoder::CpuSupports(CDoubleByteDecoder::Kernel::kAvx512)) {
                const DecodeError fastError = decoder->DecodeWith(
                    CDoubleByteDecoder::Kernel::kAvx512, in.data(), n, bStrict, fast.data(), nFast);
                if (fastError != plainError ||
                    (plainError == DecodeError::kNone &&
                     (nFast != nPlain ||
                      !std::equal(plain.begin(),
                                  plain.begin() + static_cast<std::ptrdiff_t>(nPlain),
                                  fast.begin())))) {
                    std::fprintf(stderr, "code page %d: the AVX-512 kernel differs\n",
                                 decoder->CodePage());
                    std::abort();
                }
            }
        }
    }
    return fuzz::Run(pages, data, size);
}
