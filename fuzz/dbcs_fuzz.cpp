// Fuzzes the double-byte code pages through the reader and converter.
#include "decode_fuzz_common.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::int32_t pages[] = {932, 936, 949, 950, 1361, 20932};
    return varnolt::fuzz::Run(pages, data, size);
}
