// A large file converted on two threads gives exactly what one thread gives:
// the same output bytes, result, offset and detail, whatever goes wrong.
#include "convert/controller_base.hpp"
#include "convert/conversion_job.hpp"
#include "convert/log.hpp"
#include "output/fault_env.hpp"
#include "platform/file_io.hpp"
#include "platform/parallel_for.hpp"
#include "settings/app_settings.hpp"
#include "support/test_support.hpp"

#include <atomic>
#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace varnolt {
namespace {

class COneFile : public ISourceFileList {
public:
    explicit COneFile(std::string path) : m_path(std::move(path)) {}
    int GetCount() const override { return 1; }
    std::string GetPath(int) const override { return m_path; }
    std::string GetBaseFolder(int) const override { return {}; }

private:
    std::string m_path;
};

constexpr std::size_t kBlock = 256 * 1024; // the reader's block
constexpr std::size_t kChunk = 8192;       // the reader's chunk

std::string Repeat(const std::string& piece, std::size_t bytes) {
    std::string out;
    out.reserve(bytes + piece.size());
    while (out.size() < bytes) {
        out += piece;
    }
    return out;
}

// Prose in each encoding, long enough to fill the hand-off queue many times.
const std::string kWestern =
    Repeat("Caf\xE9 \x93quoted\x94 \x96 na\xEFve r\xE9sum\xE9\x85\n", 3 << 19);
// An odd length, so that lead bytes meet every chunk and block boundary.
const std::string kJapanese =
    Repeat("\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x95\xB6\x8F\xCD abc\n", 3 << 19);

std::string Utf16Text() {
    std::u16string text;
    while (text.size() < (3u << 19)) {
        text += u"Gr\u00FC\u00DFe \u201Cx\u201D \U0001F600\n";
    }
    return "\xFF\xFE" + test::Utf16Le(text);
}

std::string Html(const std::string& head) {
    return "<html><head><title>t</title>" + head + "</head><body>\n" +
           Repeat("<p>caf&eacute; &lt;b&gt; \xE9 &#8212; &hellip;</p>\n", 3 << 19) +
           "</body></html>\n";
}

// Prose with `bad` at `offset` (replacing what was there).
std::string With(std::string text, std::size_t offset, const std::string& bad) {
    text.replace(offset, bad.size(), bad);
    return text;
}

struct Case {
    const char* name;
    int expected; // the result of one thread, so that each fault is known to hit
    std::int32_t codePage;
    std::string bytes;
    const char* extension = "txt";
    int format = kFormatUtf8;
    bool meta = false;
    bool entities = false;
    // Arms the fault seam (or the stop flag) just before the run.
    std::function<void()> arm = [] {};
};

std::atomic<bool> s_stop{false};
void OnStopSignal(int) {
    s_stop.store(true);
}

struct Outcome {
    bool bOutput = false;
    std::string output;
    CLogRecord record;
    std::vector<std::string> leftInTemp;
};

Outcome Convert(const Case& c, FileSplit split, std::uint64_t threshold, bool disableMP = true) {
    test::TempDir dir;
    const std::string source = dir / (std::string("f.") + c.extension);
    test::WriteFile(source, c.bytes);
    std::filesystem::create_directory(dir / "out");
    std::filesystem::create_directory(dir / "tmp");
    const test::ScopedEnv tmp("TMPDIR", dir / "tmp");
    test::WriteFile(dir / "settings.reg",
                    std::string("Windows Registry Editor Version 5.00\n\n"
                                "[HKEY_CURRENT_USER\\Software\\Brambleware\\Varnolt 5]\n"
                                "\"DisableMP\"=dword:0000000") +
                        (disableMP ? "1" : "0") + "\n");
    CAppSettings settings(dir / "settings.reg");
    COneFile list(source);
    CControllerBase run(&list, c.codePage, kOutputToFolder, dir / "out/", c.format, c.meta, false,
                        c.entities);
    CLog log;
    s_stop.store(false);
    JobOptions options;
    options.pStop = &s_stop;
    SetFileSplitForTesting(split, threshold);
    {
        const test::ScopedFaults faults;
        c.arm();
        RunConversionJob(run, settings, log, options, nullptr);
    }
    SetFileSplitForTesting(FileSplit::kAuto);
    Outcome outcome;
    EXPECT_EQ(log.GetCount(), 1);
    outcome.record = log.GetRecord(0);
    const std::string out = dir / (std::string("out/f.") + c.extension);
    outcome.bOutput = std::filesystem::exists(out);
    if (outcome.bOutput) {
        outcome.output = test::ReadFile(out);
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir / "tmp")) {
        outcome.leftInTemp.push_back(entry.path().string());
    }
    return outcome;
}

std::vector<Case> Cases() {
    const auto fault = [](platform::FaultOp op, int nth, int error, bool sticky = false) {
        return [=] { platform::InjectFault(op, nth, error, sticky); };
    };
    const std::string badTrail = "\x81\x20";
    return {
        {"1252", kMsgOk, 1252, kWestern},
        {"1252 to UTF-16BE", kMsgOk, 1252, kWestern, "txt", kFormatUtf16Be},
        {"932", kMsgOk, 932, kJapanese},
        {"UTF-16 with pairs", kMsgOk, 1200, Utf16Text()},
        {"HTML meta and entities", kMsgOk, 1252,
         Html("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">"),
         "htm", kFormatUtf8, true, true},
        {"HTML without a tag: warning", kMsgNoMetaTag, 1252,
         Repeat("<p>caf\xE9 &eacute;</p>\n", 3 << 19), "htm", kFormatUtf8, true, true},
        {"invalid early", kMsgInvalidCharacter, 932, With(kJapanese, 17 * 1177, badTrail)},
        {"1253 undefined byte late", kMsgInvalidCharacter, 1253,
         With(kWestern, kWestern.size() - 5000, "\xAA")},
        {"invalid late", kMsgInvalidCharacter, 932,
         With(kJapanese, kJapanese.size() - 9, badTrail)},
        {"invalid at a chunk mark", kMsgInvalidCharacter, 932,
         std::string(2 * kChunk - 1, 'a') + badTrail + kJapanese},
        {"invalid across blocks", kMsgInvalidCharacter, 932,
         With(std::string(kBlock - 1, 'a') + kJapanese, kBlock - 1, badTrail)},
        {"UTF-16 unpaired late", kMsgInvalidCharacter, 1200,
         With(Utf16Text(), Utf16Text().size() - 100, std::string("\x00\xD8\x41\x00", 4))},
        {"truncated meanwhile", kMsgSourceChanged, 1252, kWestern, "txt", kFormatUtf8, false, false,
         fault(platform::FaultOp::kSourceShrink, 1, EIO)},
        {"grown meanwhile", kMsgSourceChanged, 932, kJapanese, "txt", kFormatUtf8, false, false,
         fault(platform::FaultOp::kSourceAppend, 1, EIO)},
        {"read error", kMsgSourceReadError, 1252, kWestern, "txt", kFormatUtf8, false, false,
         fault(platform::FaultOp::kSourceRead, 1, EIO)},
        {"disk full mid-file", kMsgTempAccessFailed, 1252, kWestern, "txt", kFormatUtf8, false,
         false, fault(platform::FaultOp::kWrite, 5, ENOSPC)},
        {"disk full from the first write", kMsgTempAccessFailed, 932, kJapanese, "txt", kFormatUtf8,
         false, false, fault(platform::FaultOp::kWrite, 1, ENOSPC, true)},
        // On one thread the write fails first and what follows is never met.
        // Both files end before the first queue slot is full: on two threads
        // the reader meets its failure before the writer has seen any text.
        {"disk full before an invalid sequence", kMsgTempAccessFailed, 932,
         With(kJapanese, 17 * 9000, badTrail), "txt", kFormatUtf8, false, false,
         fault(platform::FaultOp::kWrite, 2, ENOSPC)},
        {"disk full before a changed source", kMsgTempAccessFailed, 1252,
         kWestern.substr(0, 120000), "txt", kFormatUtf8, false, false,
         [] {
             platform::InjectFault(platform::FaultOp::kWrite, 1, ENOSPC);
             platform::InjectFault(platform::FaultOp::kSourceAppend, 1, EIO);
         }},
        {"HTML disk full at the end", kMsgTempAccessFailed, 1252,
         Repeat("<p>caf\xE9</p>\n", 3 << 19), "htm", kFormatUtf8, true, true,
         fault(platform::FaultOp::kWrite, 20, ENOSPC, true)},
        // A stop signal while the file is read: discarded (5016).
        {"stopped mid-file", kMsgInterrupted, 1252, kWestern, "txt", kFormatUtf8, false, false,
         fault(platform::FaultOp::kSignal, 3, SIGUSR1)},
    };
}

TEST(TwoThreadJob, GivesWhatOneThreadGives) {
    struct sigaction action {};
    struct sigaction old {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &old), 0);
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        const Outcome one = Convert(c, FileSplit::kNever, 0);
        ASSERT_EQ(one.record.nMessageId, c.expected);
        // From the first piece on, and switching over in the middle.
        for (const std::uint64_t threshold : {std::uint64_t{0}, std::uint64_t{300000}}) {
            SCOPED_TRACE(threshold);
            const std::uint64_t splitBefore = SplitFileCountForTesting();
            const Outcome two = Convert(c, FileSplit::kAlways, threshold);
            // Only a file that passes on some text can hand it off.
            if (threshold == 0 && c.expected != kMsgSourceReadError) {
                EXPECT_EQ(SplitFileCountForTesting(), splitBefore + 1) << "no second thread";
            }
            EXPECT_EQ(two.record.nLevel, one.record.nLevel);
            EXPECT_EQ(two.record.nMessageId, one.record.nMessageId);
            EXPECT_EQ(two.record.nSystemError, one.record.nSystemError);
            EXPECT_EQ(two.record.strDetail, one.record.strDetail);
            EXPECT_EQ(two.bOutput, one.bOutput);
            EXPECT_TRUE(two.output == one.output) << "output differs";
            EXPECT_TRUE(two.leftInTemp.empty());
        }
        EXPECT_TRUE(one.leftInTemp.empty());
    }
    ::sigaction(SIGUSR1, &old, nullptr);
}

TEST(TwoThreadJob, SplitsALargeFileOnlyOnACoreTheRunLeavesIdle) {
    if (platform::UsableCoreCount() < 2) {
        GTEST_SKIP() << "one core: there is no second one to use";
    }
    const Case large{"large", kMsgOk, 1252, kWestern};
    const Case small{"small", kMsgOk, 1252, kWestern.substr(0, 100000)};
    struct Row {
        const Case* file;
        bool disableMP;
        bool split;
    } rows[] = {
        {&large, false, true},  // one file, two cores: the second core helps
        {&large, true, false},  // DisableMP: one thread, whatever the size
        {&small, false, false}, // below the threshold a thread costs more than it saves
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.file->name) + (row.disableMP ? ", DisableMP" : ""));
        const std::uint64_t before = SplitFileCountForTesting();
        const Outcome outcome =
            Convert(*row.file, FileSplit::kAuto, kSplitThresholdUnits, row.disableMP);
        EXPECT_EQ(outcome.record.nMessageId, kMsgOk);
        EXPECT_EQ(SplitFileCountForTesting(), before + (row.split ? 1 : 0));
    }

    // Held to one core (taskset, a container's cpuset), the run has none to spare.
    const std::uint64_t before = SplitFileCountForTesting();
    Outcome outcome;
    {
        const test::COneCoreAffinity oneCore;
        ASSERT_TRUE(oneCore.Held());
        outcome = Convert(large, FileSplit::kAuto, kSplitThresholdUnits, false);
    }
    EXPECT_EQ(outcome.record.nMessageId, kMsgOk);
    EXPECT_EQ(SplitFileCountForTesting(), before) << "split on one core";
}

} // namespace
} // namespace varnolt
