// Fuzzes the UTF-8 and UTF-16 reading modes and the illegal-unit test.
#include "decode_fuzz_common.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::int32_t pages[] = {65001, 1200, 1201};
    return varnolt::fuzz::Run(pages, data, size);
}
