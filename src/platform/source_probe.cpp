// Source probe: non-blocking open and fstat.
#include "platform/source_probe.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnolt::platform {

SourceProbe ProbeSource(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return SourceProbe::Unreadable;
    }
    struct stat info {};
    const bool statOk = ::fstat(fd, &info) == 0;
    ::close(fd);
    if (!statOk) {
        // The status could not be read: the conversion goes on and the
        // reader reports what it finds.
        return SourceProbe::Readable;
    }
    if (!S_ISREG(info.st_mode)) {
        return SourceProbe::Unreadable;
    }
    return info.st_size == 0 ? SourceProbe::Empty : SourceProbe::Readable;
}

} // namespace varnolt::platform
