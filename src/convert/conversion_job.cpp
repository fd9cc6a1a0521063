// Conversion job: the worker pipeline and the per-file steps.
#include "convert/conversion_job.hpp"

#include "codecs/html_parser.hpp"
#include "codecs/html_processor.hpp"
#include "convert/controller_base.hpp"
#include "convert/log.hpp"
#include "decode/encoding_detector.hpp"
#include "decode/html_stage.hpp"
#include "decode/source_file_reader.hpp"
#include "decode/unicode_converter.hpp"
#include "output/hand_off_sink.hpp"
#include "output/target_file_writer.hpp"
#include "platform/file_exception.hpp"
#include "platform/file_identity_set.hpp"
#include "platform/parallel_for.hpp"
#include "platform/source_file.hpp"
#include "platform/source_probe.hpp"
#include "settings/app_settings.hpp"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <unordered_set>

namespace varnolt {
namespace {

// The extension of a path for the HTML test and the parser's script kind:
// the text after the last '.' of the file name, empty when there is none.
std::string ExtensionOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return {};
    }
    return path.substr(dot + 1);
}

// Dry runs: the text is decoded as in a real run, then dropped.
class CDiscardingSink : public CTextSink {
public:
    void WriteUnicode(std::u16string_view) override {}
    void WriteMapped(const std::uint8_t*, std::size_t, const CByteTextMap&) override {}
    bool TakesMappedBytes() const override { return true; }
};

// The destinations the files of a dry run would take, so that a second
// file meeting the same one is judged as the real run would judge it.
class CPlannedDestinations {
public:
    bool Claim(const std::string& path) {
        const std::lock_guard lock(m_mutex);
        return m_paths.insert(path).second;
    }

private:
    std::mutex m_mutex;
    std::unordered_set<std::string> m_paths;
};

std::atomic<FileSplit> s_fileSplit{FileSplit::kAuto};
std::atomic<std::uint64_t> s_nSplitThreshold{kSplitThresholdUnits};
std::atomic<std::uint64_t> s_nSplitFiles{0};

// The cores the run's workers leave idle: fewer files than cores, or a
// worker that found no file left. A large file borrows one for its second
// thread while it can; the many-files case already keeps every core busy,
// and a second thread there would only add the cost of the hand-off.
class CSpareCores {
public:
    CSpareCores(int spare, FileSplit split) : m_nSpare(spare), m_split(split) {}
    bool Borrow() {
        if (m_split != FileSplit::kAuto) {
            return m_split == FileSplit::kAlways;
        }
        int n = m_nSpare.load();
        while (n > 0) {
            if (m_nSpare.compare_exchange_weak(n, n - 1)) {
                return true;
            }
        }
        return false;
    }
    void GiveBack() {
        if (m_split == FileSplit::kAuto) {
            m_nSpare.fetch_add(1);
        }
    }

private:
    std::atomic<int> m_nSpare;
    const FileSplit m_split;
};

// One worker's pipeline, built once and reused for every file it takes.
class CWorkerPipeline {
public:
    CWorkerPipeline(const CControllerBase& run, CAppSettings& settings, CLog& log,
                    const JobOptions& options, const platform::CFileIdentitySet& sources,
                    CPlannedDestinations& planned, IJobObserver* observer, CSpareCores& cores,
                    std::uint64_t splitThreshold)
        : m_log(log), m_run(run), m_planned(planned), m_observer(observer),
          m_nSplitThreshold(splitThreshold),
          m_writer(WriterOptions(run, options, sources), log, options.pQuestion),
          m_handOff(
              m_writer, [&cores] { return cores.Borrow(); }, [&cores] { cores.GiveBack(); }),
          m_processor(Sink(), settings, run.m_bUtf8Meta, run.m_bEntityToUnicode),
          m_parser(m_processor), m_stage(m_parser, m_processor),
          m_converter(Sink(), run.m_bUtf8Meta || run.m_bEntityToUnicode ? &m_stage : nullptr, log),
          m_reader(m_converter, log) {
        m_converter.SetCodePage(run.m_nCodePage);
        m_converter.SetHtmlProcessing(run.m_bUtf8Meta || run.m_bEntityToUnicode);
        m_converter.SetMetaTagOption(run.m_bUtf8Meta);
        m_converter.SetHtmlFileExtensions(settings.HtmlFileExt.Get());
        m_reader.SetCodePage(run.m_nCodePage);
        m_reader.SetStopFlag(options.pStop);
        m_reader.SetGuards(!run.m_bForce);
    }

    // Steps 3 to 11 for one file; returns its log index.
    std::int64_t Convert(const std::string& path, const std::string& baseFolder) {
        const std::int64_t logIndex = m_log.AddRecord(path);
        if (path.empty()) {
            return logIndex;
        }
        try {
            ConvertFile(logIndex, path, baseFolder);
        } catch (const std::exception&) {
            // Nothing of one file may end the run: whatever escaped the
            // stages is this file's failure, and its temporary file goes.
            m_log.SetStatus(logIndex, kLevelError, kMsgUnexpectedFileAccess);
            DiscardQuietly();
        }
        m_writer.ClearSourcePath();
        // A file that ended before its reading (its own file, no temporary
        // file) is not held open until the next one.
        m_reader.SourceFile().Close();
        return logIndex;
    }

private:
    static COutputOptions WriterOptions(const CControllerBase& run, const JobOptions& options,
                                        const platform::CFileIdentitySet& sources) {
        COutputOptions writer = run.MakeOutputOptions(options.nOverwriteRule);
        writer.pRunSources = &sources;
        return writer;
    }

    CTextSink& Sink() { return m_run.m_bDryRun ? static_cast<CTextSink&>(m_discard) : m_handOff; }

    void ConvertFile(std::int64_t logIndex, const std::string& path,
                     const std::string& baseFolder) {
        // The reader takes the probe's descriptor: one open per file, and
        // the file converted is the file probed.
        platform::CSourceFile& source = m_reader.SourceFile();
        int probeError = 0;
        const platform::SourceProbe probe = platform::ProbeSource(path, &probeError, &source);
        // The profile and the log are the run's own files, even when a
        // pattern or a slip of the hand lists them.
        if (!m_run.m_runOwnFiles.empty()) {
            const auto identity = source.IsOpen() ? std::optional(source.State().identity)
                                                  : platform::IdentityOf(path);
            if (identity && std::find(m_run.m_runOwnFiles.begin(), m_run.m_runOwnFiles.end(),
                                      *identity) != m_run.m_runOwnFiles.end()) {
                m_log.SetStatus(logIndex, kLevelError, kMsgRunOwnFile);
                return;
            }
        }
        switch (probe) {
        case platform::SourceProbe::Unreadable:
            m_log.SetStatus(logIndex, kLevelError, kMsgSourceUnreadable);
            if (probeError != 0) {
                m_log.SetReason(logIndex, probeError);
            } else {
                m_log.SetDetail(logIndex, "not a regular file");
            }
            return;
        case platform::SourceProbe::Empty:
            m_log.SetStatus(logIndex, kLevelWarning, kMsgSourceEmpty);
            return;
        case platform::SourceProbe::Readable:
            break;
        }
        if (m_run.m_nCodePage == kDetectCodePage && !UseDetectedCodePage(logIndex, path, source)) {
            return;
        }
        if (m_run.m_bDryRun) {
            DryRunFile(logIndex, path, baseFolder);
            return;
        }
        // Made with the mode it will get, it usually needs no chmod later.
        const mode_t mode = source.IsOpen() ? source.State().nMode : 0600;
        if (!m_writer.OpenTemp(logIndex, path, baseFolder, mode)) {
            return; // 5003 is recorded
        }
        StartFile(logIndex, path);
        m_handOff.StartFile(m_nSplitThreshold);
        bool ok = m_reader.Read(path);
        // The reader has settled the text it passed on (or failed the file);
        // the second thread, if any, ends before the writer is closed.
        m_handOff.EndFile();
        if (m_handOff.UsedSecondThread()) {
            s_nSplitFiles.fetch_add(1, std::memory_order_relaxed);
        }
        // Closing writes out what the buffer still holds; a failure here
        // (a full disk at the last block) is the temporary file's failure.
        try {
            m_writer.Close();
        } catch (const CFileException&) {
            m_log.SetStatus(logIndex, kLevelError, kMsgTempAccessFailed);
            ok = false;
        }
        if (ok) {
            m_writer.SetSourceState(m_reader.SourceState());
            m_writer.Commit();
        } else {
            m_writer.Discard();
        }
    }

    void StartFile(std::int64_t logIndex, const std::string& path) {
        m_processor.Reset(logIndex);
        const std::string extension = ExtensionOf(path);
        m_parser.Reset(extension);
        m_converter.StartFile(m_converter.IsHtmlFile(extension));
        m_reader.SetLogIndex(logIndex);
    }

    // Read and decoded like any file, then only judged where it would go.
    void DryRunFile(std::int64_t logIndex, const std::string& path, const std::string& baseFolder) {
        StartFile(logIndex, path);
        if (!m_reader.Read(path)) {
            return;
        }
        const std::string destination =
            m_writer.PlanCommit(logIndex, path, baseFolder, [this](const std::string& planned) {
                return m_planned.Claim(planned);
            });
        if (!destination.empty()) {
            m_log.SetDestination(logIndex, destination);
        }
    }

    // Sets the file's own code page when its best candidate is sure enough;
    // otherwise records the refusal and converts nothing.
    bool UseDetectedCodePage(std::int64_t logIndex, const std::string& path,
                             const platform::CSourceFile& source) {
        const FileDetection detection = DetectOpenFileEncoding(source);
        if (detection.error) {
            m_log.SetStatus(logIndex, kLevelError, kMsgSourceUnreadable);
            return false;
        }
        const std::vector<DetectionCandidate>& candidates = detection.candidates;
        const bool bSure =
            !candidates.empty() && candidates.front().dConfidence >= kAutoDetectThreshold;
        const std::int32_t codePage = bSure ? candidates.front().nCodePage : 0;
        if (m_observer != nullptr) {
            m_observer->EncodingDetected(path, candidates, codePage);
        }
        if (!bSure) {
            m_log.SetStatus(logIndex, kLevelWarning, kMsgEncodingUncertain);
            return false;
        }
        m_converter.SetCodePage(codePage);
        m_reader.SetCodePage(codePage);
        return true;
    }

    void DiscardQuietly() {
        m_handOff.EndFile();
        try {
            m_writer.Close();
        } catch (...) {
        }
        try {
            m_writer.Discard();
        } catch (...) {
        }
    }

    CLog& m_log;
    const CControllerBase& m_run;
    CPlannedDestinations& m_planned;
    IJobObserver* m_observer;
    std::uint64_t m_nSplitThreshold;
    CTargetFileWriter m_writer;
    CHandOffSink m_handOff;
    CDiscardingSink m_discard;
    CHtmlProcessor m_processor;
    CHtmlParser m_parser;
    CHtmlStage m_stage;
    CUnicodeConverter m_converter;
    CSourceFileReader m_reader;
};

} // namespace

void RunConversionJob(const CControllerBase& run, CAppSettings& settings, CLog& log,
                      const JobOptions& options, IJobObserver* observer) {
    const ISourceFileList& files = *run.m_pFileList;
    const std::size_t count = static_cast<std::size_t>(files.GetCount());
    const unsigned threads = settings.DisableMP.Get() ? 1 : platform::DefaultThreadCount();

    // Taken once, before any file is converted: no file's output may
    // replace another source of the run.
    platform::CFileIdentitySet sources;
    for (std::size_t i = 0; i < count; ++i) {
        sources.AddPath(files.GetPath(static_cast<int>(i)));
    }

    CPlannedDestinations planned;
    // A second thread helps only on a core that nothing else of the run
    // uses: not beyond the cores this process may run on.
    const std::size_t workers = std::min<std::size_t>(threads, count);
    const std::size_t usable = std::min<std::size_t>(threads, platform::UsableCoreCount());
    CSpareCores cores(usable > workers ? static_cast<int>(usable - workers) : 0,
                      s_fileSplit.load());
    const std::uint64_t splitThreshold = s_nSplitThreshold.load();
    platform::ParallelRun(count, threads, [&](platform::CIndexQueue& queue) {
        CWorkerPipeline pipeline(run, settings, log, options, sources, planned, observer, cores,
                                 splitThreshold);
        while (const auto next = queue.Next()) {
            const int index = static_cast<int>(*next);
            if (options.pStop != nullptr && options.pStop->load()) {
                break; // never begun: no record
            }
            if (options.bInteractive) {
                if (options.pCancel != nullptr && options.pCancel->load()) {
                    continue; // skipped entirely: no record, no message
                }
                if (observer != nullptr) {
                    observer->FileBegun();
                }
            }
            const std::string path = files.GetPath(index);
            // Command-line entries have a base folder only under --keep-folders.
            const std::string baseFolder = files.GetBaseFolder(index);
            const std::int64_t logIndex = pipeline.Convert(path, baseFolder);
            if (observer != nullptr) {
                observer->FileFinished(path, log.GetRecord(logIndex));
            }
            log.CompleteRecord(logIndex);
        }
        cores.GiveBack(); // no file left for this worker
    });
}

void SetFileSplitForTesting(FileSplit split, std::uint64_t thresholdUnits) {
    s_fileSplit.store(split);
    s_nSplitThreshold.store(thresholdUnits);
}

std::uint64_t SplitFileCountForTesting() {
    return s_nSplitFiles.load();
}

} // namespace varnolt
