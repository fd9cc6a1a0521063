// Reading a source file through POSIX calls.
#include "platform/source_file.hpp"

#include "platform/file_exception.hpp"
#include "platform/file_io.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnolt::platform {

CSourceFile::~CSourceFile() {
    Close();
}

void CSourceFile::Open(const std::string& path) {
    Close();
    m_strPath = path;
    // Test seam: another program changes the file under our feet.
    if (TakeFault(FaultOp::kSourceVanish) != 0) {
        ::unlink(path.c_str());
    }
    m_nReadFault = TakeFault(FaultOp::kSourceRead);
    m_bShrinkAfterRead = TakeFault(FaultOp::kSourceShrink) != 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        throw CFileException(CauseFromErrno(error), error, path);
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        throw CFileException(CFileException::kAccessDenied, EISDIR, path);
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    m_fd = fd;
}

std::uint64_t CSourceFile::Length() const {
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) {
        const int error = errno;
        throw CFileException(CauseFromErrno(error), error, m_strPath);
    }
    return static_cast<std::uint64_t>(info.st_size);
}

std::size_t CSourceFile::Read(void* buffer, std::size_t n) {
    if (m_nReadFault != 0) {
        throw CFileException(CFileException::kGeneric, -1, m_strPath);
    }
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ::read(m_fd, out + done, n - done);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw CFileException(CFileException::kGeneric, -1, m_strPath);
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    if (m_bShrinkAfterRead) {
        m_bShrinkAfterRead = false;
        struct stat info {};
        if (::fstat(m_fd, &info) == 0) {
            (void)::truncate(m_strPath.c_str(), info.st_size / 2);
        }
    }
    return done;
}

void CSourceFile::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace varnolt::platform
