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

void CSourceFile::Adopt(int fd, const std::string& path, const FileState& state) {
    Close();
    m_fd = fd;
    m_bAdopted = true;
    m_strPath = path;
    m_state = state;
}

void CSourceFile::Open(const std::string& path) {
    const bool adopted = m_bAdopted && m_fd >= 0 && path == m_strPath;
    if (!adopted) {
        Close();
        m_strPath = path;
        // Test seam: another program changes the file under our feet.
        TakeSourceOpenFaults(path);
    }
    m_bAdopted = false;
    m_bAtEnd = false;
    m_nPosition = 0;
    m_nReadFault = TakeFault(FaultOp::kSourceRead);
    m_bShrinkAfterRead = TakeFault(FaultOp::kSourceShrink) != 0;
    m_bAppendAfterRead = TakeFault(FaultOp::kSourceAppend) != 0;
    m_bReplaceAtEnd = TakeFault(FaultOp::kSourceReplace) != 0;
    if (adopted) {
        Prepare();
        return;
    }
    // Without blocking: the job's probe saw a regular file, but another
    // program may have put a FIFO in its place since, whose open would wait
    // for a writer for ever. Only a regular file is read: a FIFO or device
    // could block or never end.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        throw CFileException(CauseFromErrno(error), error, path);
    }
    // What was opened, not what a second look at the path would find.
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        throw CFileException(CauseFromErrno(error), error, path);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        throw CFileException(CFileException::kAccessDenied, S_ISDIR(info.st_mode) ? EISDIR : EINVAL,
                             path);
    }
    m_state = StateFromStat(info);
    m_fd = fd;
    Prepare();
}

void CSourceFile::Prepare() {
    // O_NONBLOCK stays: it only kept the open from waiting on a FIFO, and
    // reads of a regular file ignore it. Should a file system honour it
    // after all, the read that says EAGAIN clears it (ReadWouldBlock).
    m_bBlocking = false;
    // Read-ahead already covers a small file; the hint pays only where a
    // file spans many reads.
    constexpr std::uint64_t kSequentialHintBytes = 1 << 18;
    if (m_state.nSize > kSequentialHintBytes) {
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
}

bool CSourceFile::ReadWouldBlock(int error) const {
    if ((error != EAGAIN && error != EWOULDBLOCK) || m_bBlocking) {
        return false;
    }
    // The open asked for O_NONBLOCK and nothing else that F_SETFL changes,
    // so setting no flags clears just that one, without reading them first.
    if (::fcntl(m_fd, F_SETFL, 0) != 0) {
        return false;
    }
    m_bBlocking = true;
    return true;
}

std::uint64_t CSourceFile::Length() const {
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) {
        const int error = errno;
        throw CFileException(CauseFromErrno(error), error, m_strPath);
    }
    return static_cast<std::uint64_t>(info.st_size);
}

std::size_t CSourceFile::ReadHead(void* buffer, std::size_t n) const {
    if (m_nReadFault != 0) {
        throw CFileException(CFileException::kGeneric, m_nReadFault > 0 ? m_nReadFault : EIO,
                             m_strPath);
    }
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(m_fd, out + done, n - done, static_cast<off_t>(done));
        if (got < 0) {
            if (errno == EINTR || ReadWouldBlock(errno)) {
                continue;
            }
            throw CFileException(CFileException::kGeneric, errno, m_strPath);
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

std::size_t CSourceFile::Read(void* buffer, std::size_t n) {
    if (m_nReadFault != 0) {
        throw CFileException(CFileException::kGeneric, m_nReadFault > 0 ? m_nReadFault : EIO,
                             m_strPath);
    }
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < n && !m_bAtEnd) {
        const std::size_t asked = n - done;
        const ssize_t got = ::read(m_fd, out + done, asked);
        if (got < 0) {
            if (errno == EINTR || ReadWouldBlock(errno)) {
                continue;
            }
            throw CFileException(CFileException::kGeneric, errno, m_strPath);
        }
        if (got == 0) {
            m_bAtEnd = true;
            break;
        }
        done += static_cast<std::size_t>(got);
        m_nPosition += static_cast<std::uint64_t>(got);
        // A short read at the length the file had when opened is its end:
        // asking again would only return 0. Had the file grown meanwhile,
        // its size moved, which Unchanged reports.
        if (static_cast<std::size_t>(got) < asked && m_nPosition >= m_state.nSize) {
            m_bAtEnd = true;
        }
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
    m_bAdopted = false;
}

} // namespace varnolt::platform
