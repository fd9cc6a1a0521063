// The conversion log: one result record per file, and the log file.
#pragma once

#include "settings/file_status.hpp"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace varnolt {

class CControllerBase;

struct CLogRecord {
    std::string strFileName; // the full source path as the job took it
    int nLevel = kLevelOk;
    int nMessageId = kMsgOk;
};

// Worker threads add records and set statuses concurrently; every operation
// holds the one recursive lock for its whole duration.
class CLog : public IFileStatusSink {
public:
    CLog() = default;
    ~CLog() override = default;
    CLog(const CLog&) = delete;
    CLog& operator=(const CLog&) = delete;

    // The process-wide log.
    static CLog& Instance();

    // Appends a record (level OK, message 5012); returns its index.
    std::int64_t AddRecord(const std::string& fileName);
    // Raises the record's level (and message) only when `level` is higher.
    void SetStatus(std::int64_t index, int level, int messageId) override;
    CLogRecord GetRecord(std::int64_t index) const;
    std::int64_t GetCount() const;
    int GetMaxLevel() const;
    void Reset();

    // Writes the log file (UTF-16LE): header, the run's settings, then the
    // records in `order` (record indices). Appends or replaces; true when
    // everything was written. The settings are those of `run`, or of the
    // current controller; without either nothing is written (false).
    bool Write(const std::string& path, const std::vector<std::int64_t>& order, bool append) const;
    bool Write(const std::string& path, const std::vector<std::int64_t>& order, bool append,
               const CControllerBase& run) const;

    // The text of one log run (header, settings, records) without the
    // byte-order mark, as Write puts it in the file.
    std::u16string FormatRun(const std::vector<std::int64_t>& order,
                             const CControllerBase& run) const;

private:
    void CheckIndex(std::int64_t index) const;

    mutable std::recursive_mutex m_lock;
    std::vector<CLogRecord> m_records;
};

} // namespace varnolt
