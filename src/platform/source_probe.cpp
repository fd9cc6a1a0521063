// Source probe: non-blocking open and fstat.
#include "platform/source_probe.hpp"

#include "platform/file_io.hpp"
#include "platform/source_file.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnolt::platform {

SourceProbe ProbeSource(const std::string& path, int* pError, CSourceFile* pKeep) {
    int unused = 0;
    int& error = pError != nullptr ? *pError : unused;
    error = 0;
    if (const int fault = TakeFault(FaultOp::kSourceProbe); fault != 0) {
        error = fault > 0 ? fault : EIO;
        return SourceProbe::Unreadable;
    }
    if (pKeep != nullptr) {
        TakeSourceOpenFaults(path);
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = errno;
        return SourceProbe::Unreadable;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        ::close(fd);
        // The status could not be read: the conversion goes on and the
        // reader reports what it finds.
        return SourceProbe::Readable;
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        error = S_ISDIR(info.st_mode) ? EISDIR : 0;
        return SourceProbe::Unreadable;
    }
    if (info.st_size == 0) {
        ::close(fd);
        return SourceProbe::Empty;
    }
    if (pKeep != nullptr) {
        pKeep->Adopt(fd, path, StateFromStat(info));
    } else {
        ::close(fd);
    }
    return SourceProbe::Readable;
}

} // namespace varnolt::platform
