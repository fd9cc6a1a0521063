// CLog: records under one recursive lock, and the UTF-16LE log file.
#include "convert/log.hpp"

#include "convert/controller_base.hpp"
#include "platform/file_io.hpp"
#include "platform/local_time.hpp"
#include "platform/text_utf.hpp"
#include "settings/encoding_catalogue.hpp"
#include "settings/string_table.hpp"

#include <algorithm>
#include <functional>
#include <new>
#include <stdexcept>
#include <utility>

namespace varnolt {
namespace {

std::u16string Text(int id) {
    return Utf8ToUtf16(LoadString(id));
}

std::u16string TextWithArg(int id, std::u16string_view arg) {
    std::u16string text = Text(id);
    const std::size_t at = text.find(u"%1");
    if (at != std::u16string::npos) {
        text.replace(at, 2, arg);
    }
    return text;
}

// The header and settings block of one log run.
std::u16string HeaderText(const CControllerBase& run) {
    std::u16string out(60, u'=');
    out += u"\r\n";
    out += Text(5200);
    out += u" - ";
    const platform::LocalDateTimeText now = platform::FormatLocalDateTimeNow();
    out += Utf8ToUtf16(now.strDate);
    out += u' ';
    out += Utf8ToUtf16(now.strTime);
    out += u"\r\n\r\n";

    out += Text(5219);
    const int encoding = EncodingCatalogue::IndexOf(run.m_nCodePage);
    if (encoding >= 0) {
        out += Utf8ToUtf16(EncodingCatalogue::Entry(encoding).strName);
    }
    out += u"\r\n";

    out += Text(5201);
    const std::u16string outputArg = Utf8ToUtf16(run.m_strOutputArg);
    switch (run.m_nOutputOption) {
    case kOutputOverBackup:
        out += TextWithArg(5202, outputArg);
        break;
    case kOutputPrefixedCopy:
        out += TextWithArg(5203, outputArg);
        break;
    default:
        out += TextWithArg(5204, outputArg);
        break;
    }
    const int formatName = run.m_nUnicodeFormat == kFormatUtf16Le   ? 5208
                           : run.m_nUnicodeFormat == kFormatUtf16Be ? 5209
                                                                    : 5207;
    out += TextWithArg(5205, Text(formatName));
    if (run.m_nUnicodeFormat == kFormatUtf8) {
        out += Text(run.m_bUtf8Meta ? 5212 : 5213);
    }
    out += Text(run.m_bEntityToUnicode ? 5220 : 5221);
    out += Text(run.m_bAddBOM ? 5222 : 5223);
    out += Text(5211);
    return out;
}

// One record's lines; a record without a file name has none.
void AppendRecordText(std::u16string& out, const CLogRecord& record) {
    if (record.strFileName.empty()) {
        return;
    }
    // A name with a line break or bytes outside UTF-8 must not break the
    // log's line structure, and must stay recognisable: it is escaped.
    out += TextWithArg(5214, Utf8ToUtf16(EscapeForDisplay(record.strFileName)));
    out += Text(5215);
    if (record.nLevel == kLevelOk) {
        out += Text(5216);
    } else {
        out += Text(record.nLevel == kLevelWarning ? 5217 : 5218);
        out += Text(record.nMessageId);
    }
    out += u"\r\n\r\n";
}

void AppendUtf16Le(std::string& bytes, std::u16string_view text) {
    const std::size_t at = bytes.size();
    bytes.resize(at + text.size() * 2);
    char* out = bytes.data() + at;
    for (const char16_t unit : text) {
        *out++ = static_cast<char>(unit & 0xFF);
        *out++ = static_cast<char>(unit >> 8);
    }
}

// Formatted text is handed on in blocks of about this size, so writing a log
// never needs memory in proportion to the number of records.
constexpr std::size_t kBlockBytes = 64 * 1024;

} // namespace

CLog& CLog::Instance() {
    static CLog log;
    return log;
}

CLog::CEntry& CLog::EntryAt(std::int64_t index) {
    return const_cast<CEntry&>(std::as_const(*this).EntryAt(index));
}

const CLog::CEntry& CLog::EntryAt(std::int64_t index) const {
    if (index < m_nFirstIndex) {
        throw std::out_of_range(index < 0 ? "log index " + std::to_string(index) + " out of range"
                                          : "log record " + std::to_string(index) +
                                                " is already written out");
    }
    const std::int64_t offset = index - m_nFirstIndex;
    if (static_cast<std::uint64_t>(offset) >= m_records.size()) {
        throw std::out_of_range("log index " + std::to_string(index) + " out of range");
    }
    return m_records[static_cast<std::size_t>(offset)];
}

std::int64_t CLog::AddRecord(const std::string& fileName) {
    std::lock_guard lock(m_lock);
    CEntry entry;
    entry.record.strFileName = fileName;
    m_records.push_back(std::move(entry));
    return m_nFirstIndex + static_cast<std::int64_t>(m_records.size()) - 1;
}

void CLog::SetStatus(std::int64_t index, int level, int messageId) {
    std::lock_guard lock(m_lock);
    CLogRecord& record = EntryAt(index).record;
    if (record.nLevel < level) {
        record.nLevel = level;
        record.nMessageId = messageId;
        record.nSystemError = 0;
        record.strDetail.clear();
        m_nMaxLevel = std::max(m_nMaxLevel, level);
    }
}

void CLog::SetReason(std::int64_t index, int systemError) {
    std::lock_guard lock(m_lock);
    EntryAt(index).record.nSystemError = systemError;
}

void CLog::SetDetail(std::int64_t index, std::string detail) {
    std::lock_guard lock(m_lock);
    EntryAt(index).record.strDetail = std::move(detail);
}

void CLog::SetDestination(std::int64_t index, std::string destination) {
    std::lock_guard lock(m_lock);
    EntryAt(index).record.strDestination = std::move(destination);
}

CLogRecord CLog::GetRecord(std::int64_t index) const {
    std::lock_guard lock(m_lock);
    return EntryAt(index).record;
}

std::int64_t CLog::GetCount() const {
    std::lock_guard lock(m_lock);
    return m_nFirstIndex + static_cast<std::int64_t>(m_records.size());
}

int CLog::GetMaxLevel() const {
    std::lock_guard lock(m_lock);
    return m_nMaxLevel;
}

void CLog::Reset() {
    std::lock_guard lock(m_lock);
    m_records.clear();
    m_records.shrink_to_fit();
    m_nFirstIndex = 0;
    m_nMaxLevel = kLevelOk;
    m_bStreaming = false;
    m_strStreamBuffer.clear();
    m_strStreamBuffer.shrink_to_fit();
    m_bScratchFailed = false;
    m_scratch.Clear();
}

void CLog::StreamCompletedRecords() {
    std::lock_guard lock(m_lock);
    m_bStreaming = true;
    StreamReadyRecords();
}

void CLog::CompleteRecord(std::int64_t index) {
    std::lock_guard lock(m_lock);
    EntryAt(index).bComplete = true;
    StreamReadyRecords();
}

void CLog::StreamReadyRecords() {
    if (!m_bStreaming) {
        return;
    }
    // A record leaves memory only once its text is in the buffer: short of
    // memory, it simply stays a record and goes out with a later one.
    try {
        std::u16string text;
        while (!m_records.empty() && m_records.front().bComplete) {
            text.clear();
            AppendRecordText(text, m_records.front().record);
            AppendUtf16Le(m_strStreamBuffer, text);
            m_records.pop_front();
            ++m_nFirstIndex;
        }
    } catch (const std::bad_alloc&) {
    }
    if (m_strStreamBuffer.size() >= kBlockBytes) {
        FlushStreamBuffer();
    }
}

void CLog::FlushStreamBuffer() {
    if (m_bScratchFailed || m_strStreamBuffer.empty()) {
        return;
    }
    if (m_scratch.Append(m_strStreamBuffer.data(), m_strStreamBuffer.size()) != 0) {
        m_bScratchFailed = true; // memory keeps the text from here on
        return;
    }
    m_strStreamBuffer.clear();
}

void CLog::VisitInOrder(const std::vector<std::int64_t>& order,
                        const std::function<void(const CLogRecord&)>& visit) const {
    // Only as many entries as there are records count, and an index that
    // names no record in memory is passed over.
    const std::int64_t count = GetCount();
    for (std::size_t i = 0; i < order.size() && static_cast<std::int64_t>(i) < count; ++i) {
        const std::int64_t index = order[i];
        if (index >= m_nFirstIndex && index < count) {
            visit(EntryAt(index).record);
        }
    }
}

std::u16string CLog::FormatRun(const std::vector<std::int64_t>& order,
                               const CControllerBase& run) const {
    std::lock_guard lock(m_lock);
    std::u16string out = HeaderText(run);
    VisitInOrder(order, [&out](const CLogRecord& record) { AppendRecordText(out, record); });
    return out;
}

bool CLog::Write(const std::string& path, const std::vector<std::int64_t>& order,
                 bool append) const {
    const CControllerBase* run = CControllerBase::GetCurrent();
    if (run == nullptr) {
        return false;
    }
    return Write(path, order, append, *run);
}

bool CLog::Write(const std::string& path, const std::vector<std::int64_t>& order, bool append,
                 const CControllerBase& run) const {
    std::lock_guard lock(m_lock);
    if (m_nFirstIndex > 0) {
        // Streamed-out records exist only as text in record order.
        const std::int64_t count = GetCount();
        if (static_cast<std::int64_t>(order.size()) != count) {
            return false;
        }
        for (std::int64_t i = 0; i < count; ++i) {
            if (order[static_cast<std::size_t>(i)] != i) {
                return false;
            }
        }
        return WriteFile(path, nullptr, append, run);
    }
    return WriteFile(path, &order, append, run);
}

bool CLog::WriteInRecordOrder(const std::string& path, bool append,
                              const CControllerBase& run) const {
    std::lock_guard lock(m_lock);
    return WriteFile(path, nullptr, append, run);
}

bool CLog::WriteFile(const std::string& path, const std::vector<std::int64_t>* order, bool append,
                     const CControllerBase& run) const {
    int fd = -1;
    std::uint64_t position = 0;
    if (platform::OpenForWriting(path, append, fd, position) != 0) {
        return false;
    }
    bool ok = true;
    std::string bytes;
    const auto flush = [&] {
        if (ok && !bytes.empty()) {
            ok = platform::WriteAll(fd, bytes.data(), bytes.size()) == 0;
        }
        bytes.clear();
    };
    try {
        bytes.reserve(kBlockBytes * 2);
        if (position == 0) {
            bytes += "\xFF\xFE";
        }
        AppendUtf16Le(bytes, HeaderText(run));
        std::u16string text;
        const auto add = [&](const CLogRecord& record) {
            text.clear();
            AppendRecordText(text, record);
            AppendUtf16Le(bytes, text);
            if (bytes.size() >= kBlockBytes) {
                flush();
            }
        };
        if (order == nullptr) {
            flush();
            std::vector<char> block(kBlockBytes);
            for (std::uint64_t at = 0; ok && at < m_scratch.Size();) {
                const long long got = m_scratch.ReadAt(at, block.data(), block.size());
                ok = got > 0 &&
                     platform::WriteAll(fd, block.data(), static_cast<std::size_t>(got)) == 0;
                at += ok ? static_cast<std::uint64_t>(got) : 0;
            }
            if (ok && !m_strStreamBuffer.empty()) {
                ok =
                    platform::WriteAll(fd, m_strStreamBuffer.data(), m_strStreamBuffer.size()) == 0;
            }
            for (const CEntry& entry : m_records) {
                add(entry.record);
            }
        } else {
            VisitInOrder(*order, add);
        }
        flush();
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    const int closeErr = platform::CloseFile(fd);
    return ok && closeErr == 0;
}

} // namespace varnolt
