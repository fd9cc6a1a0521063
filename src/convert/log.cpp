// CLog: records under one recursive lock, and the UTF-16LE log file.
#include "convert/log.hpp"

#include "convert/controller_base.hpp"
#include "platform/file_io.hpp"
#include "platform/local_time.hpp"
#include "platform/text_utf.hpp"
#include "settings/encoding_catalogue.hpp"
#include "settings/string_table.hpp"

#include <algorithm>
#include <stdexcept>

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

} // namespace

CLog& CLog::Instance() {
    static CLog log;
    return log;
}

void CLog::CheckIndex(std::int64_t index) const {
    if (index < 0 || static_cast<std::uint64_t>(index) >= m_records.size()) {
        throw std::out_of_range("log index " + std::to_string(index) + " out of range");
    }
}

std::int64_t CLog::AddRecord(const std::string& fileName) {
    std::lock_guard lock(m_lock);
    m_records.push_back(CLogRecord{fileName, kLevelOk, kMsgOk});
    return static_cast<std::int64_t>(m_records.size()) - 1;
}

void CLog::SetStatus(std::int64_t index, int level, int messageId) {
    std::lock_guard lock(m_lock);
    CheckIndex(index);
    CLogRecord& record = m_records[static_cast<std::size_t>(index)];
    if (record.nLevel < level) {
        record.nLevel = level;
        record.nMessageId = messageId;
    }
}

CLogRecord CLog::GetRecord(std::int64_t index) const {
    std::lock_guard lock(m_lock);
    CheckIndex(index);
    return m_records[static_cast<std::size_t>(index)];
}

std::int64_t CLog::GetCount() const {
    std::lock_guard lock(m_lock);
    return static_cast<std::int64_t>(m_records.size());
}

int CLog::GetMaxLevel() const {
    std::lock_guard lock(m_lock);
    int level = kLevelOk;
    for (const CLogRecord& record : m_records) {
        level = std::max(level, record.nLevel);
    }
    return level;
}

void CLog::Reset() {
    std::lock_guard lock(m_lock);
    m_records.clear();
}

std::u16string CLog::FormatRun(const std::vector<std::int64_t>& order,
                               const CControllerBase& run) const {
    std::lock_guard lock(m_lock);
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

    const std::size_t count = m_records.size();
    for (std::size_t i = 0; i < count && i < order.size(); ++i) {
        const std::int64_t index = order[i];
        if (index < 0 || static_cast<std::size_t>(index) >= count) {
            continue;
        }
        const CLogRecord& record = m_records[static_cast<std::size_t>(index)];
        if (record.strFileName.empty()) {
            continue;
        }
        out += TextWithArg(5214, Utf8ToUtf16(record.strFileName));
        out += Text(5215);
        if (record.nLevel == kLevelOk) {
            out += Text(5216);
        } else {
            out += Text(record.nLevel == kLevelWarning ? 5217 : 5218);
            out += Text(record.nMessageId);
        }
        out += u"\r\n\r\n";
    }
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
    std::u16string text;
    try {
        text = FormatRun(order, run);
    } catch (const std::bad_alloc&) {
        return false;
    }
    int fd = -1;
    std::uint64_t position = 0;
    if (platform::OpenForWriting(path, append, fd, position) != 0) {
        return false;
    }
    std::string bytes;
    bytes.reserve(text.size() * 2 + 2);
    if (position == 0) {
        bytes += "\xFF\xFE";
    }
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    const int writeErr = platform::WriteAll(fd, bytes.data(), bytes.size());
    const int closeErr = platform::CloseFile(fd);
    return writeErr == 0 && closeErr == 0;
}

} // namespace varnolt
