// A nameless scratch file in the temporary folder: appended to, read back,
// and gone with the process whatever way it ends.
#pragma once

#include <cstddef>
#include <cstdint>

namespace varnolt::platform {

class CScratchFile {
public:
    CScratchFile() = default;
    ~CScratchFile();
    CScratchFile(const CScratchFile&) = delete;
    CScratchFile& operator=(const CScratchFile&) = delete;

    // Appends the bytes, creating the file on first use. Returns 0 or the
    // errno of the failure; after a failure `Size` still counts only what
    // earlier calls appended in full.
    int Append(const void* data, std::size_t size);
    // Reads up to `size` bytes at `offset`; returns the count read (fewer
    // only at the end) or -1 with errno set.
    long long ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const;
    std::uint64_t Size() const { return m_nSize; }
    // Drops the file and its content.
    void Clear();

private:
    int m_fd = -1;
    std::uint64_t m_nSize = 0;
};

} // namespace varnolt::platform
