// An open file with its path (CFile) and its 64 KiB write-buffered form.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace varnolt {

// A file descriptor plus its path; failures throw CFileException.
class CFile {
public:
    CFile() = default;
    virtual ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Takes ownership of an open descriptor.
    void Attach(int fd, std::string path);
    bool IsOpen() const { return m_hFile >= 0; }
    int Handle() const { return m_hFile; }
    const std::string& GetFilePath() const { return m_strFileName; }

    virtual void Write(const void* data, std::uint64_t count);
    virtual void Close();
    // Closes without writing anything out and without throwing.
    virtual void Abort();

protected:
    void WriteRaw(const void* data, std::uint64_t count);

    int m_hFile = -1;
    std::string m_strFileName;
};

// Collects small writes into a 65536-byte buffer; a write that does not fit
// first writes out the buffer, and one of 65536 bytes or more bypasses it.
class CFileBuffered : public CFile {
public:
    static constexpr std::uint64_t kBufferSize = 65536;

    CFileBuffered();
    ~CFileBuffered() override;

    void Write(const void* data, std::uint64_t count) override;
    // Writes out the buffer and empties it; the file stays open. A failure
    // closes it and throws, as Close does.
    void Flush();
    // Writes out the buffer, empties it, closes the handle. After a failed
    // write the buffered bytes are dropped, not retried: the file is known to
    // be incomplete and is going to be discarded.
    void Close() override;
    void Abort() override;

    // True once a write has failed since the file was attached.
    bool HasFailed() const { return m_bFailed; }
    void Attach(int fd, std::string path);

private:
    std::unique_ptr<std::uint8_t[]> m_pWriteBuffer;
    std::uint64_t m_nBufferCount = 0;
    bool m_bFailed = false;
};

} // namespace varnolt
