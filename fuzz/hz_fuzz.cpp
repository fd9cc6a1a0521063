// Fuzzes HZ: chunked and split decoding agree with one-piece decoding.
#include "decode_fuzz_common.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::int32_t pages[] = {52936};
    return varnolt::fuzz::Run(pages, data, size);
}
