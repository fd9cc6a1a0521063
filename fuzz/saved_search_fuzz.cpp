// Fuzzes the stored saved searches: any bytes decode without fault and
// without reading past them, and what decodes is written and read back the
// same, twice over.
#include "search/find_file_filter.hpp"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace varnolt;
    std::vector<CFindFileFilter> filters;
    if (!DecodeSavedSearches({data, size}, filters)) {
        return 0;
    }
    const std::vector<std::uint8_t> written = EncodeSavedSearches(filters);
    std::vector<CFindFileFilter> again;
    if (!DecodeSavedSearches(written, again) || again != filters) {
        std::abort();
    }
    if (EncodeSavedSearches(again) != written) {
        std::abort();
    }
    return 0;
}
