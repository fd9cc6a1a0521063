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
    if (TakeFault(FaultOp::kSourceToFifo) != 0) {
        ::unlink(path.c_str());
        ::mkfifo(path.c_str(), 0644);
    }
    m_nReadFault = TakeFault(FaultOp::kSourceRead);
    m_bShrinkAfterRead = TakeFault(FaultOp::kSourceShrink) != 0;
    m_bAppendAfterRead = TakeFault(FaultOp::kSourceAppend) != 0;
    m_bReplaceAtEnd = TakeFault(FaultOp::kSourceReplace) != 0;
    // Without blocking: the job's probe saw a regular file, but another
    // program may have put a FIFO in its place since, whose open would wait
    // for a writer for ever. Only a regular file is read: a FIFO or device
    // could block or never end.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        throw CFileException(CauseFromErrno(error), error, path);
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw CFileException(CFileException::kAccessDenied, S_ISDIR(info.st_mode) ? EISDIR : EINVAL,
                             path);
    }
    // What was opened, not what a second look at the path would find.
    const auto state = StateOfDescriptor(fd);
    if (!state) {
        const int error = errno;
        ::close(fd);
        throw CFileException(CauseFromErrno(error), error, path);
    }
    m_state = *state;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
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
        throw CFileException(CFileException::kGeneric, m_nReadFault > 0 ? m_nReadFault : EIO,
                             m_strPath);
    }
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ::read(m_fd, out + done, n - done);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw CFileException(CFileException::kGeneric, errno, m_strPath);
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
    if (m_bAppendAfterRead) {
        m_bAppendAfterRead = false;
        AppendEditTo(m_strPath);
    }
    if (m_bReplaceAtEnd && done < n) {
        m_bReplaceAtEnd = false;
        SaveEditOver(m_strPath);
    }
    return done;
}

bool CSourceFile::Unchanged() const {
    const auto now = StateOfDescriptor(m_fd);
    return now && m_state.Unchanged(*now);
}

void CSourceFile::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace varnolt::platform
