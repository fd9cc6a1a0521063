// Pattern expansion of file arguments through the file search.
#include "app/pattern_expansion.hpp"

#include "app/source_file_list_doc.hpp"
#include "search/file_find_ex.hpp"

#include <vector>

namespace varnolt {

void ExpandPattern(const std::string& path, bool recurse, CSourceFileListDoc& doc) {
    // Only "/" separates folders here: ":" and "\" are ordinary name
    // characters on POSIX, so they belong to the file-name part.
    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::vector<std::string> found;
    SearchFolder(found, recurse, folder, name, {}, false);
    for (const std::string& file : found) {
        doc.AddFile(file);
    }
}

} // namespace varnolt
