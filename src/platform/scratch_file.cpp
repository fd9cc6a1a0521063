// Scratch file: O_TMPFILE where the file system has it, else a file unlinked
// as soon as it is made, so no run leaves it behind.
#include "platform/scratch_file.hpp"

#include "platform/file_io.hpp"
#include "platform/temp_files.hpp"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace varnolt::platform {

CScratchFile::~CScratchFile() {
    Clear();
}

int CScratchFile::Append(const void* data, std::size_t size) {
    if (m_fd < 0) {
        const std::string folder = TempFolder();
        if (CreateAnonymousFile(folder, O_RDWR, m_fd) != 0) {
            // No O_TMPFILE here: a named file (opened read-write) that loses
            // its name at once.
            std::string path;
            const int err = CreateUniqueFile(folder, "vnt", m_fd, path);
            if (err != 0) {
                m_fd = -1;
                return err;
            }
            ::unlink(path.c_str());
        }
        m_nSize = 0;
    }
    const int err = WriteAll(m_fd, data, size);
    if (err != 0) {
        // A partial append may stand at the end: later appends go after
        // what was complete, and reads never reach beyond it.
        ::ftruncate(m_fd, static_cast<off_t>(m_nSize));
        ::lseek(m_fd, static_cast<off_t>(m_nSize), SEEK_SET);
        return err;
    }
    m_nSize += size;
    return 0;
}

long long CScratchFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const {
    if (m_fd < 0 || offset >= m_nSize) {
        return 0;
    }
    if (size > m_nSize - offset) {
        size = static_cast<std::size_t>(m_nSize - offset);
    }
    for (;;) {
        const ssize_t got = ::pread(m_fd, buffer, size, static_cast<off_t>(offset));
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
}

void CScratchFile::Clear() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_fd = -1;
    m_nSize = 0;
}

} // namespace varnolt::platform
