// Reading a source file from start to end: open for reading, length, sequential reads.
#pragma once

#include "platform/file_io.hpp"

#include <cstddef>
#include <cstdint>
#include <string>

namespace varnolt::platform {

class CSourceFile {
public:
    CSourceFile() = default;
    ~CSourceFile();
    CSourceFile(const CSourceFile&) = delete;
    CSourceFile& operator=(const CSourceFile&) = delete;

    // Opens the file for reading with a sequential-access hint; a failure
    // throws CFileException with the cause of the OS error. When Adopt was
    // given a descriptor of this path, that one is taken instead: a small
    // file then costs one open, and the file read is the file probed.
    void Open(const std::string& path);
    // Keeps a regular file that `path` was opened to (read-only, O_NONBLOCK,
    // as the probe opens it) for the next Open of that path; `state` is its
    // fstat. Takes ownership of `fd`.
    void Adopt(int fd, const std::string& path, const FileState& state);
    bool IsOpen() const { return m_fd >= 0; }
    // The file's length in bytes now; throws CFileException on failure.
    std::uint64_t Length() const;
    // Reads up to n bytes; fewer only at the end of the file, 0 at its end.
    // A read error throws a generic CFileException (OS error -1).
    std::size_t Read(void* buffer, std::size_t n);
    // Reads up to n bytes from the start of the open file without moving the
    // read position, so a look at the head (detection) and the reading that
    // follows see the same file. Errors as Read.
    std::size_t ReadHead(void* buffer, std::size_t n) const;
    void Close();

    // The file as it was when opened (taken from the open descriptor, so it
    // is the file actually read, whatever happens to its path).
    const FileState& State() const { return m_state; }
    // False when the open file's size, modification or change time moved
    // since it was opened: what was read may mix old and new text.
    bool Unchanged() const;

private:
    // Ready for reading: hints sequential access.
    void Prepare();
    // True when `error` is a read's EAGAIN on the still non-blocking
    // descriptor, which is then made blocking: the read is to be retried.
    bool ReadWouldBlock(int error) const;

    int m_fd = -1;
    bool m_bAdopted = false; // m_fd is the probe's, not yet taken by Open
    // O_NONBLOCK was cleared; a const read may do it, which changes nothing
    // a caller sees but the wait.
    mutable bool m_bBlocking = false;
    bool m_bAtEnd = false; // a read reached the end: the next one need not ask
    std::uint64_t m_nPosition = 0;
    std::string m_strPath;
    FileState m_state;
    int m_nReadFault = 0;            // test seam: reads fail
    bool m_bShrinkAfterRead = false; // test seam: cut the file after one read
    bool m_bAppendAfterRead = false; // test seam: grow the file after one read
    bool m_bReplaceAtEnd = false;    // test seam: a new file at the path once read
};

} // namespace varnolt::platform
