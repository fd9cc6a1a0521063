// Lexical path pieces for placement; only "/" separates components.
#include "output/placement_paths.hpp"

namespace varnolt {

std::string FolderOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string NameOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::size_t CommonPrefixLength(std::string_view a, std::string_view b) {
    std::size_t common = 0;
    std::size_t i = 0;
    for (;;) {
        // Both sides must end a component at the same place.
        const bool endA = i == a.size() || a[i] == '/';
        const bool endB = i == b.size() || b[i] == '/';
        if (endA && endB) {
            if (i > 0 && (i == 1 ? a[0] != '/' : true)) {
                common = i;
            }
            if (i == a.size() || i == b.size()) {
                return common;
            }
        } else if (endA || endB || a[i] != b[i]) {
            return common;
        }
        ++i;
    }
}

std::string AppendPath(std::string_view folder, std::string_view relative) {
    while (!relative.empty() && relative.front() == '/') {
        relative.remove_prefix(1);
    }
    std::string out(folder);
    if (!out.empty() && out.back() != '/' && !relative.empty()) {
        out += '/';
    }
    out += relative;
    return out;
}

std::string BackupPathOf(std::string_view source, std::string_view prefix) {
    std::string path = FolderOf(source);
    path += prefix;
    path += NameOf(source);
    return path;
}

} // namespace varnolt
