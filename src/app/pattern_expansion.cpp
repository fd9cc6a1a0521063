// Pattern expansion of file arguments through the file search.
#include "app/pattern_expansion.hpp"

namespace varnolt {

void ExpandPattern(const std::string& /*path*/, bool /*recurse*/, CSourceFileListDoc& /*doc*/) {
    // Not built yet: the file search and pattern engine come next; until then
    // wildcard arguments and -s add no files.
}

} // namespace varnolt
