// The HTML entity table built into the program (generated from data/entities/).
#pragma once

#include <cstddef>

namespace varnolt {

// Records of: 32-bit name length n, 32-bit code point, 32-bit zero (all
// little-endian), then n ASCII name bytes; a record of 12 zero bytes ends it.
extern const unsigned char kHtmlEntityTable[];
extern const std::size_t kHtmlEntityTableSize;

} // namespace varnolt
