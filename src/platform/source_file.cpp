// Reading a source file through POSIX calls.
#include "platform/source_file.hpp"

#include "platform/file_exception.hpp"

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
    return done;
}

void CSourceFile::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace varnolt::platform
