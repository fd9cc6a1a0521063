// Pattern expansion of file arguments through the file search.
#include "app/pattern_expansion.hpp"

#include "app/source_file_list_doc.hpp"
#include "search/file_find_ex.hpp"

namespace varnolt {

void ExpandPattern(const std::string& path, bool recurse, CSourceFileListDoc& doc) {
    // Only "/" separates folders here: ":" and "\" are ordinary name
    // characters on POSIX, so they belong to the file-name part.
    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // Each file goes into the list as it is found: a pattern may match far
    // more files than a list of full paths should hold twice.
    const int before = doc.GetCount();
    const bool complete = SearchFolderEach([&doc](std::string&& file) { doc.AddFile(file); },
                                           recurse, folder, name, {}, false);
    if (!complete) {
        doc.RemoveFrom(before); // a search cut short adds nothing
    }
}

} // namespace varnolt
