// Pattern expansion of file arguments through the file search.
#include "app/pattern_expansion.hpp"

#include "app/source_file_list_doc.hpp"
#include "platform/paths.hpp"
#include "search/file_find_ex.hpp"

namespace varnolt {

void ExpandPattern(const std::string& path, bool recurse, CSourceFileListDoc& doc,
                   bool keepFolders) {
    // Only "/" separates folders here: ":" and "\" are ordinary name
    // characters on POSIX, so they belong to the file-name part.
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return; // no folder to search
    }
    // The folder is resolved once as the kernel resolves it (a ".." after a
    // link leads to the link target's parent); the names found in it then
    // need no resolution, except links, which the search resolves.
    std::string folder = platform::ResolvePath(slash == 0 ? "/" : path.substr(0, slash));
    if (folder.empty()) {
        return; // the current folder cannot be read
    }
    if (folder.back() != '/') {
        folder += '/';
    }
    const std::string name = path.substr(slash + 1);
    // Each file goes into the list as it is found: a pattern may match far
    // more files than a list of full paths should hold twice.
    const int before = doc.GetCount();
    const std::string base = keepFolders ? folder : std::string();
    const bool complete =
        SearchFolderEach([&doc, &base](std::string&& file) { doc.AddFile(file, base); }, recurse,
                         folder, name, {}, false, nullptr, true);
    if (!complete) {
        doc.RemoveFrom(before); // a search cut short adds nothing
    }
}

} // namespace varnolt
