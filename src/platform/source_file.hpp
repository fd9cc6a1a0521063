// Reading a source file from start to end: open for reading, length, sequential reads.
#pragma once

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
    // throws CFileException with the cause of the OS error.
    void Open(const std::string& path);
    bool IsOpen() const { return m_fd >= 0; }
    // The file's length in bytes now; throws CFileException on failure.
    std::uint64_t Length() const;
    // Reads up to n bytes; fewer only at the end of the file, 0 at its end.
    // A read error throws a generic CFileException (OS error -1).
    std::size_t Read(void* buffer, std::size_t n);
    void Close();

private:
    int m_fd = -1;
    std::string m_strPath;
};

} // namespace varnolt::platform
