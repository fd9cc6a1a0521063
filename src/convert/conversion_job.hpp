// The per-file conversion job: a parallel loop over the run's files, one
// pipeline (reader -> converter -> HTML stage -> writer) per worker.
#pragma once

#include "output/output_options.hpp"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace varnolt {

class CAppSettings;
class CControllerBase;
class CLog;
struct CLogRecord;
class IOverwriteQuestion;
struct DetectionCandidate;

// What the job tells its controller while it runs. Called from worker threads.
class IJobObserver {
public:
    virtual ~IJobObserver() = default;
    // A file is about to be converted (interactive runs: progress).
    virtual void FileBegun() {}
    // A file is done; `record` is its final record.
    virtual void FileFinished(const std::string& path, const CLogRecord& record) {
        (void)path;
        (void)record;
    }
    // The run detects each file's encoding: these are the file's candidates,
    // best first, and the code page it is converted from (0: refused, none
    // was sure enough).
    virtual void EncodingDetected(const std::string& path,
                                  const std::vector<DetectionCandidate>& candidates,
                                  std::int32_t codePage) {
        (void)path;
        (void)candidates;
        (void)codePage;
    }
};

struct JobOptions {
    int nOverwriteRule = kRuleSkip;
    IOverwriteQuestion* pQuestion = nullptr; // asked under rule Ask
    // Interactive runs honour the cancel flag and pass each file's base
    // folder to the placement; non-interactive runs do neither.
    bool bInteractive = false;
    // Set from another thread to skip every file not yet begun.
    const std::atomic<bool>* pCancel = nullptr;
    // Set (by a stop signal) to end any run early: no file is begun after
    // it and a file still being read is discarded (5016); a file already
    // read is finished.
    const std::atomic<bool>* pStop = nullptr;
};

// A file's conversion moves its encoding and writing to a second thread once
// this much of its text (UTF-16 units, about as many source bytes in a
// single-byte code page) has passed, if the run leaves a core idle: below
// it a thread costs more than it saves.
inline constexpr std::uint64_t kSplitThresholdUnits = 1u << 20;

// TEST HOOK: kAuto (every normal run) splits a file as described above;
// tests force one path or the other, from `thresholdUnits` of text on, to
// compare them. Read when a job starts.
enum class FileSplit { kAuto, kNever, kAlways };
void SetFileSplitForTesting(FileSplit split, std::uint64_t thresholdUnits = kSplitThresholdUnits);
// How many files of this process's runs went through a second thread.
std::uint64_t SplitFileCountForTesting();

// Converts every file of the run's list. Reads DisableMP from the settings
// (one thread when true). Every file gets exactly one record in `log`; no
// failure of one file stops the run.
void RunConversionJob(const CControllerBase& run, CAppSettings& settings, CLog& log,
                      const JobOptions& options, IJobObserver* observer);

} // namespace varnolt
