// Per-file results as the pipeline stages record them.
//
// The conversion log (convert/) owns the records; the stages below it (reader,
// converter, HTML stage, writer, placement) record through this interface so
// that dependencies keep pointing down.
#pragma once

#include <cstdint>

namespace varnolt {

enum StatusLevel : int { kLevelOk = 0, kLevelWarning = 1, kLevelError = 2 };

// String-table ids of the per-file messages.
enum FileMessage : int {
    kMsgSourceUnreadable = 5000,
    kMsgSourceReadError = 5001,
    kMsgInvalidCharacter = 5002,
    kMsgTempCreateFailed = 5003,
    kMsgBackupFailed = 5004,
    kMsgDestExistsSkipped = 5005,
    kMsgDestOverwritten = 5006,
    kMsgDestWriteFailed = 5007,
    kMsgUnexpectedFileAccess = 5008,
    kMsgNoMetaTag = 5009,
    kMsgTempAccessFailed = 5010,
    kMsgOk = 5012,
    kMsgSourceEmpty = 5013,
    kMsgSourceChanged = 5014,
    kMsgRunOwnFile = 5015,
    kMsgInterrupted = 5016,
    kMsgEncodingUncertain = 5017,
};

class IFileStatusSink {
public:
    virtual ~IFileStatusSink() = default;
    // The record's level only rises: a level not above the current one
    // changes nothing, so the first message at the highest level stays.
    virtual void SetStatus(std::int64_t logIndex, int level, int messageId) = 0;
    // The system's reason (an errno value) for the record's message, where
    // the message alone would mislead; shown on the console, never in the
    // log file.
    virtual void SetReason(std::int64_t logIndex, int systemError) {
        (void)logIndex;
        (void)systemError;
    }
};

} // namespace varnolt
