// Fuzzes GB18030 through its reading mode and decoder.
#include "decode_fuzz_common.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::int32_t pages[] = {54936};
    return varnolt::fuzz::Run(pages, data, size);
}
