// Expansion of wildcard file arguments (and of every argument under -s).
#pragma once

#include <string>

namespace varnolt {

class CSourceFileListDoc;

// Adds the files that the pattern (and, with recurse, every sub-folder)
// selects to the document; duplicates are dropped by AddFile.
void ExpandPattern(const std::string& path, bool recurse, CSourceFileListDoc& doc);

} // namespace varnolt
