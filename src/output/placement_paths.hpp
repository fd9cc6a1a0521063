// Path pieces used to place converted files: folder, name, common prefix, join.
#pragma once

#include <string>
#include <string_view>

namespace varnolt {

// Everything up to and including the last "/" (empty when there is none).
std::string FolderOf(std::string_view path);
// What follows the last "/".
std::string NameOf(std::string_view path);
// Length of the common leading path of two paths, counted by whole
// components: "/docs/sub/a.txt" and "/docs/" share "/docs" (5). The root
// alone counts as no common part (0).
std::size_t CommonPrefixLength(std::string_view a, std::string_view b);
// Where option 0 keeps the original of `source`: its name with the backup
// prefix, in the same folder.
std::string BackupPathOf(std::string_view source, std::string_view prefix);
// `folder` and `relative` joined by exactly one "/" (leading "/" of
// `relative` dropped).
std::string AppendPath(std::string_view folder, std::string_view relative);

} // namespace varnolt
