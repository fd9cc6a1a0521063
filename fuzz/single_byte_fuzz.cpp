// Fuzzes the single-byte code pages and ArmSCII-8 through the reader and converter.
#include "decode_fuzz_common.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::int32_t pages[] = {1252, 437,   10000, 28591, 874,   1258, 708,   28596,
                                         1256, 775,   28594, 1257,  28592, 1250, 855,   28595,
                                         1251, 20866, 737,   28597, 1253,  862,  28598, 1255,
                                         850,  852,   857,   28599, 1254,  59999};
    return varnolt::fuzz::Run(pages, data, size);
}
