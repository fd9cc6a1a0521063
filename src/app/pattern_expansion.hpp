// Expansion of wildcard file arguments (and of every argument under -s).
#pragma once

#include <string>

namespace varnolt {

class CSourceFileListDoc;

// Adds the files that the pattern (and, with recurse, every sub-folder)
// selects to the document; duplicates are dropped by AddFile. With
// `keepFolders` each file's base folder is the pattern's folder, so that an
// output folder receives the tree below it instead of every name at its top.
void ExpandPattern(const std::string& path, bool recurse, CSourceFileListDoc& doc,
                   bool keepFolders = false);

} // namespace varnolt
