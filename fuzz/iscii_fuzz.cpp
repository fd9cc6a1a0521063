// Fuzzes the ISCII code pages: chunked and split decoding agree with one-piece decoding.
#include "decode_fuzz_common.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::int32_t pages[] = {57002, 57003, 57004, 57005, 57006,
                                         57007, 57008, 57009, 57010, 57011};
    return varnolt::fuzz::Run(pages, data, size);
}
