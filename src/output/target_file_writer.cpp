// The target writer: temporary file, byte-order marks, the three encodings.
#include "output/target_file_writer.hpp"

#include "output/utf_encode.hpp"
#include "platform/file_exception.hpp"
#include "platform/file_io.hpp"
#include "platform/temp_files.hpp"

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <new>

namespace varnolt {
namespace {

// Temporary files are created one worker at a time.
std::mutex s_tempFileMutex;

constexpr const char* kTempPrefix = "vnt";

[[noreturn]] void InternalError(const char* what) {
    std::fprintf(stderr, "Varnolt: internal error: %s\n", what);
    std::abort();
}

} // namespace

CTargetFileWriter::CTargetFileWriter(COutputOptions options, IFileStatusSink& log,
                                     IOverwriteQuestion* question)
    : m_bAddBOM(options.bAddBOM), m_nOutputOption(options.nOutputOption),
      m_nUnicodeFormat(options.nUnicodeFormat),
      m_strPrefixOrFolder(std::move(options.strPrefixOrFolder)), m_pSwapBuffer(new char16_t[65536]),
      m_pUtf8Buffer(new std::uint8_t[131072]), m_nOverwriteRule(options.nOverwriteRule), m_log(log),
      m_pQuestion(question), m_pRunSources(options.pRunSources), m_pPlaced(options.pPlaced) {
    if (m_nOutputOption < 0 || m_nOutputOption > 2 || m_nUnicodeFormat < 0 ||
        m_nUnicodeFormat > 2 || m_nOverwriteRule < 0 || m_nOverwriteRule > 2) {
        InternalError("writer option out of range");
    }
}

CTargetFileWriter::~CTargetFileWriter() {
    // A writer destroyed mid-file leaves no temporary file behind.
    if (!m_strTempPath.empty()) {
        Discard();
    }
}

void CTargetFileWriter::Record(int level, int messageId) {
    m_log.SetStatus(m_nLogIndex, level, messageId);
}

void CTargetFileWriter::Fail(int messageId, int systemError) {
    Discard();
    Record(kLevelError, messageId);
    if (systemError != 0) {
        m_log.SetReason(m_nLogIndex, systemError);
    }
}

bool CTargetFileWriter::OpenTemp(std::int64_t logIndex, const std::string& sourcePath,
                                 const std::string& baseFolder, mode_t mode) {
    m_strSourcePath = sourcePath;
    m_strBaseFolder = baseFolder;
    m_nLogIndex = logIndex;
    m_sourceState.reset();
    m_tempIdentity.reset();
    m_chPendingHigh = 0;
    m_nWritten = m_nReservedEnd = 0;
    m_bReserve = true;
    if (!m_strTempPath.empty()) {
        Discard(); // a previous file that was never committed or discarded
    }
    int fd = -1;
    std::string path;
    int err = 0;
    // Where no nameless file can be made there (a folder still to be
    // created, unwritable or read-only, a file system without them), the
    // file is made in the temporary folder instead, and placed from there.
    const auto folder = DestinationFolder();
    m_bNameless = folder && platform::CreateNamelessTempFile(*folder, fd, mode) == 0;
    if (m_bNameless) {
        path = *folder;
    } else {
        std::lock_guard lock(s_tempFileMutex);
        err = platform::CreateTempFile(kTempPrefix, fd, path);
    }
    if (err != 0) {
        Record(kLevelError, kMsgTempCreateFailed);
        return false;
    }
    m_strTempPath = path;
    m_file.Attach(fd, path);
    try {
        if (m_bAddBOM) {
            static constexpr std::uint8_t kLe[] = {0xFF, 0xFE};
            static constexpr std::uint8_t kBe[] = {0xFE, 0xFF};
            static constexpr std::uint8_t kUtf8[] = {0xEF, 0xBB, 0xBF};
            switch (m_nUnicodeFormat) {
            case kFormatUtf16Le:
                Write(kLe, sizeof kLe);
                break;
            case kFormatUtf16Be:
                Write(kBe, sizeof kBe);
                break;
            default:
                Write(kUtf8, sizeof kUtf8);
                break;
            }
        }
    } catch (const CFileException&) {
        // Unlike a bare close, the half-made temporary file is removed too.
        Fail(kMsgTempCreateFailed);
        return false;
    }
    return true;
}

void CTargetFileWriter::OpenForBenchmark(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        throw CFileException(CauseFromErrno(errno), errno, path);
    }
    m_file.Attach(fd, path);
}

void CTargetFileWriter::Write(const void* data, std::uint64_t count) {
    m_nWritten += count;
    if (m_nWritten > m_nReservedEnd && m_nWritten >= kReserveFrom && m_bReserve) {
        m_bReserve = platform::ReserveSpace(m_file.Handle(), m_nWritten, kReserveStep);
        if (m_bReserve) {
            m_nReservedEnd = m_nWritten + kReserveStep;
        }
    }
    m_file.Write(data, count);
}

void CTargetFileWriter::WriteUnicode(std::u16string_view text) {
    switch (m_nUnicodeFormat) {
    case kFormatUtf16Le:
        if constexpr (std::endian::native == std::endian::little) {
            Write(text.data(), text.size() * 2);
        } else {
            WriteUtf16Be(text); // native order is big-endian here: swap to LE
        }
        break;
    case kFormatUtf16Be:
        if constexpr (std::endian::native == std::endian::big) {
            Write(text.data(), text.size() * 2);
        } else {
            WriteUtf16Be(text);
        }
        break;
    case kFormatUtf8:
        WriteUtf8(text);
        break;
    default:
        InternalError("Unicode format out of range");
    }
}

std::uint8_t* CTargetFileWriter::Utf8Room(std::uint64_t bytes) {
    if (m_nUtf8Capacity < bytes) {
        m_nUtf8Capacity = bytes;
        m_pUtf8Buffer.reset(new std::uint8_t[m_nUtf8Capacity]);
    }
    return m_pUtf8Buffer.get();
}

void CTargetFileWriter::WriteMapped(const std::uint8_t* bytes, std::size_t n,
                                    const CByteTextMap& map) {
    if (m_nUnicodeFormat != kFormatUtf8 || m_chPendingHigh != 0) {
        CTextSink::WriteMapped(bytes, n, map); // through the units
        return;
    }
    std::uint8_t* const out = Utf8Room(MaxUtf8Size(n) + 1);
    const std::size_t used = EncodeMappedUtf8(bytes, n, map.utf8, out);
    if (used > 0) {
        Write(out, used);
    }
}

void CTargetFileWriter::WriteUtf16Be(std::u16string_view text) {
    const std::uint64_t n = text.size();
    if (m_nSwapCapacity < n + 1) {
        m_nSwapCapacity = n + 1;
        m_pSwapBuffer.reset(new char16_t[m_nSwapCapacity]);
    }
    SwapUtf16Bytes(text.data(), n, m_pSwapBuffer.get());
    Write(m_pSwapBuffer.get(), n * 2);
}

void CTargetFileWriter::WriteUtf8(std::u16string_view text) {
    // Room for a held surrogate half (3 bytes as U+FFFD, 4 as part of a pair).
    std::uint8_t* const out = Utf8Room(MaxUtf8Size(text.size()) + 4);
    std::size_t used = 0;
    if (m_chPendingHigh != 0 && !text.empty()) {
        const char16_t pair[2] = {m_chPendingHigh, text.front()};
        const bool paired = text.front() >= 0xDC00 && text.front() <= 0xDFFF;
        used = EncodeUtf8(pair, paired ? 2 : 1, out);
        if (paired) {
            text.remove_prefix(1);
        }
        m_chPendingHigh = 0;
    }
    if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF) {
        m_chPendingHigh = text.back();
        text.remove_suffix(1);
    }
    used += EncodeUtf8(text.data(), text.size(), out + used);
    if (used > 0) {
        Write(out, used);
    }
}

void CTargetFileWriter::Close() {
    if (m_chPendingHigh != 0) {
        m_chPendingHigh = 0;
        if (m_file.IsOpen() && !m_file.HasFailed()) {
            static constexpr std::uint8_t kReplacement[] = {0xEF, 0xBF, 0xBD};
            try {
                Write(kReplacement, sizeof kReplacement);
            } catch (...) {
                m_file.Abort();
                throw;
            }
        }
    }
    m_file.Flush();
    if (m_nReservedEnd != 0 && m_file.IsOpen()) {
        platform::ReleaseReservedSpace(m_file.Handle());
        m_nReservedEnd = 0;
    }
}

void CTargetFileWriter::Discard() {
    m_file.Abort(); // a nameless file is gone with its descriptor
    m_chPendingHigh = 0;
    if (!m_strTempPath.empty() && !m_bNameless) {
        platform::RemoveFile(m_strTempPath);
    }
    m_strTempPath.clear();
    m_bNameless = false;
    m_tempIdentity.reset();
}

} // namespace varnolt
