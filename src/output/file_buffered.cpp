// CFile and CFileBuffered over the OS layer's descriptor calls.
#include "output/file_buffered.hpp"

#include "platform/file_exception.hpp"
#include "platform/file_io.hpp"

#include <cstring>

namespace varnolt {

CFile::~CFile() {
    if (m_hFile >= 0) {
        platform::CloseFile(m_hFile);
    }
}

void CFile::Attach(int fd, std::string path) {
    if (m_hFile >= 0) {
        platform::CloseFile(m_hFile);
    }
    m_hFile = fd;
    m_strFileName = std::move(path);
}

void CFile::WriteRaw(const void* data, std::uint64_t count) {
    if (const int err = platform::WriteAll(m_hFile, data, count)) {
        throw CFileException(CauseFromErrno(err), err, m_strFileName);
    }
}

void CFile::Write(const void* data, std::uint64_t count) {
    WriteRaw(data, count);
}

void CFile::Close() {
    if (m_hFile < 0) {
        return;
    }
    const int fd = m_hFile;
    m_hFile = -1;
    if (const int err = platform::CloseFile(fd)) {
        throw CFileException(CauseFromErrno(err), err, m_strFileName);
    }
}

void CFile::Abort() {
    if (m_hFile >= 0) {
        platform::CloseFile(m_hFile);
        m_hFile = -1;
    }
}

CFileBuffered::CFileBuffered() : m_pWriteBuffer(new std::uint8_t[kBufferSize]) {}

CFileBuffered::~CFileBuffered() = default;

void CFileBuffered::Attach(int fd, std::string path) {
    CFile::Attach(fd, std::move(path));
    m_nBufferCount = 0;
    m_bFailed = false;
}

void CFileBuffered::Write(const void* data, std::uint64_t count) {
    if (count <= kBufferSize - m_nBufferCount) {
        std::memcpy(m_pWriteBuffer.get() + m_nBufferCount, data, count);
        m_nBufferCount += count;
        return;
    }
    try {
        if (m_nBufferCount > 0 && IsOpen()) {
            const std::uint64_t pending = m_nBufferCount;
            m_nBufferCount = 0;
            WriteRaw(m_pWriteBuffer.get(), pending);
        }
        m_nBufferCount = 0;
        if (count < kBufferSize) {
            std::memcpy(m_pWriteBuffer.get(), data, count);
            m_nBufferCount = count;
        } else {
            WriteRaw(data, count);
        }
    } catch (...) {
        m_bFailed = true;
        throw;
    }
}

void CFileBuffered::Flush() {
    const std::uint64_t pending = m_nBufferCount;
    m_nBufferCount = 0;
    if (pending > 0 && IsOpen() && !m_bFailed) {
        try {
            WriteRaw(m_pWriteBuffer.get(), pending);
        } catch (...) {
            m_bFailed = true;
            CFile::Abort();
            throw;
        }
    }
}

void CFileBuffered::Close() {
    Flush();
    try {
        CFile::Close();
    } catch (...) {
        m_bFailed = true;
        throw;
    }
}

void CFileBuffered::Abort() {
    m_nBufferCount = 0;
    CFile::Abort();
}

} // namespace varnolt
