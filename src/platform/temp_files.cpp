// Temporary files under $TMPDIR (or /tmp), created with mkstemp.
#include "platform/temp_files.hpp"

#include "platform/file_io.hpp"

#include <cstdlib>

namespace varnolt::platform {

std::string TempFolder() {
    const char* dir = std::getenv("TMPDIR");
    return dir != nullptr && *dir != '\0' ? std::string(dir) : std::string("/tmp");
}

int CreateTempFile(std::string_view prefix, int& fd, std::string& path) {
    return CreateUniqueFile(TempFolder(), prefix, fd, path);
}

} // namespace varnolt::platform
