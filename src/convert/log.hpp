// The conversion log: one result record per file, and the log file.
#pragma once

#include "platform/scratch_file.hpp"
#include "settings/file_status.hpp"

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace varnolt {

class CControllerBase;

struct CLogRecord {
    std::string strFileName; // the full source path as the job took it
    int nLevel = kLevelOk;
    int nMessageId = kMsgOk;
    // The errno behind the message where it tells more (console only; the
    // log file's text never shows it); 0 for none.
    int nSystemError = 0;
    // The details behind the message (console only, like nSystemError);
    // empty for none.
    std::string strDetail;
    // Dry runs: where the converted file would go (console only).
    std::string strDestination;
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
    // Belongs to the current message: a later, higher status clears it.
    void SetReason(std::int64_t index, int systemError) override;
    // Belongs to the current message, as the reason does.
    void SetDetail(std::int64_t index, std::string detail) override;
    void SetDestination(std::int64_t index, std::string destination);
    CLogRecord GetRecord(std::int64_t index) const;
    std::int64_t GetCount() const;
    int GetMaxLevel() const;
    // Removes every record (also those written out to the scratch file).
    void Reset();

    // Bounded memory for runs over any number of files: from now on, a
    // record marked complete whose earlier records are all complete is
    // formatted at once and moved to a nameless scratch file, so memory holds
    // only the records of files still in flight. Such a record can no longer
    // be read or changed (out_of_range), and the log file can then be written
    // in record order only. The non-interactive run turns it on; the result
    // dialog, which lists and reorders records, does not. Stays on until
    // Reset. Should the scratch file fail, the formatted text stays in memory:
    // a record is never lost.
    void StreamCompletedRecords();
    // Nothing more will be recorded for this file.
    void CompleteRecord(std::int64_t index);

    // Writes the log file (UTF-16LE): header, the run's settings, then the
    // records in `order` (record indices). Appends or replaces; true when
    // everything was written. The settings are those of `run`, or of the
    // current controller; without either nothing is written (false). Once
    // records are streamed out, `order` must be the record order (else false).
    bool Write(const std::string& path, const std::vector<std::int64_t>& order, bool append) const;
    bool Write(const std::string& path, const std::vector<std::int64_t>& order, bool append,
               const CControllerBase& run) const;
    // Write with every record in record order, the non-interactive log.
    bool WriteInRecordOrder(const std::string& path, bool append, const CControllerBase& run) const;

    // The text of one log run (header, settings, records) without the
    // byte-order mark, as Write puts it in the file; streamed-out records
    // are not part of it.
    std::u16string FormatRun(const std::vector<std::int64_t>& order,
                             const CControllerBase& run) const;

private:
    struct CEntry {
        CLogRecord record;
        bool bComplete = false;
    };

    CEntry& EntryAt(std::int64_t index);
    const CEntry& EntryAt(std::int64_t index) const;
    // The records of `order` still in memory, in that order.
    void VisitInOrder(const std::vector<std::int64_t>& order,
                      const std::function<void(const CLogRecord&)>& visit) const;
    void StreamReadyRecords();
    void FlushStreamBuffer();
    // Header and records through one descriptor; `order` null: record order.
    bool WriteFile(const std::string& path, const std::vector<std::int64_t>* order, bool append,
                   const CControllerBase& run) const;

    mutable std::recursive_mutex m_lock;
    std::deque<CEntry> m_records;   // from index m_nFirstIndex on
    std::int64_t m_nFirstIndex = 0; // records before it are streamed out
    int m_nMaxLevel = kLevelOk;
    bool m_bStreaming = false;
    std::string m_strStreamBuffer;    // formatted records (UTF-16LE) not yet in the scratch file
    bool m_bScratchFailed = false;    // the buffer keeps everything from then on
    platform::CScratchFile m_scratch; // formatted records, in record order
};

} // namespace varnolt
