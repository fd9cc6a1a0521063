// Temporary files under $TMPDIR (or /tmp), created with mkstemp.
#include "platform/temp_files.hpp"

#include "platform/file_io.hpp"
#include "platform/stop_signals.hpp"

#include <cstdlib>

namespace varnolt::platform {

std::string TempFolder() {
    const char* dir = std::getenv("TMPDIR");
    return dir != nullptr && *dir != '\0' ? std::string(dir) : std::string("/tmp");
}

int CreateTempFile(std::string_view prefix, int& fd, std::string& path) {
    // A second stop signal between making the file and tracking it would
    // leave it behind.
    const CBlockStopSignals block;
    const int err = CreateUniqueFile(TempFolder(), prefix, fd, path);
    if (err == 0) {
        TrackTempFile(path);
    }
    return err;
}

} // namespace varnolt::platform
