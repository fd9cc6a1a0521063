// Conversion log: level rules, concurrency, and the exact bytes of the log file.
#include "convert/controller_base.hpp"
#include "convert/log.hpp"
#include "output/fault_env.hpp"
#include "support/test_support.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace varnolt {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// Bytes of an ASCII text as UTF-16LE.
std::string Le(std::string_view text) {
    std::string out;
    for (char c : text) {
        out += c;
        out += '\0';
    }
    return out;
}

// The date and time the header carries (between " - " and the blank line).
std::string HeaderDateTime(const std::string& file, std::size_t from = 0) {
    const std::string marker = Le("Varnolt Unicode Conversion Log - ");
    const std::size_t start = file.find(marker, from);
    if (start == std::string::npos) {
        return {};
    }
    const std::size_t end = file.find(Le("\r\n\r\n"), start);
    return file.substr(start + marker.size(), end - start - marker.size());
}

// Every header date and time a log written between `before` and `after` may
// carry in the C locale ("Wednesday, 9 December 2026 14:03:11"), formatted
// here from the calendar fields rather than by the code under test.
std::vector<std::string> CLocaleDateTimesBetween(std::time_t before, std::time_t after) {
    static const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                        "Thursday", "Friday", "Saturday"};
    static const char* const kMonths[] = {"January",   "February", "March",    "April",
                                          "May",       "June",     "July",     "August",
                                          "September", "October",  "November", "December"};
    std::vector<std::string> texts;
    for (std::time_t t = before; t <= after; ++t) {
        std::tm when{};
        ::localtime_r(&t, &when);
        char clock[16];
        std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", when.tm_hour, when.tm_min,
                      when.tm_sec);
        texts.push_back(std::string(kDays[when.tm_wday]) + ", " + std::to_string(when.tm_mday) +
                        " " + kMonths[when.tm_mon] + " " + std::to_string(1900 + when.tm_year) +
                        " " + clock);
    }
    return texts;
}

std::string Ascii(const std::string& le) {
    std::string out;
    for (std::size_t i = 0; i + 1 < le.size(); i += 2) {
        out += le[i];
    }
    return out;
}

TEST(Log, LevelsOnlyRiseAndTheFirstMessageAtTheTopStays) {
    CLog log;
    const auto a = log.AddRecord("/a");
    const auto b = log.AddRecord("/b");
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(log.GetRecord(a).nMessageId, kMsgOk);
    log.SetStatus(a, kLevelError, kMsgDestWriteFailed);
    log.SetStatus(a, kLevelWarning, kMsgDestOverwritten);
    log.SetStatus(a, kLevelError, kMsgUnexpectedFileAccess);
    EXPECT_EQ(log.GetRecord(a).nMessageId, kMsgDestWriteFailed);
    log.SetStatus(b, kLevelWarning, kMsgDestOverwritten);
    log.SetStatus(b, kLevelError, kMsgDestWriteFailed); // an error after 5006 replaces it
    EXPECT_EQ(log.GetRecord(b).nLevel, kLevelError);
    EXPECT_EQ(log.GetRecord(b).nMessageId, kMsgDestWriteFailed);
    EXPECT_EQ(log.GetMaxLevel(), kLevelError);
    EXPECT_THROW(log.SetStatus(2, kLevelError, kMsgDestWriteFailed), std::out_of_range);
    EXPECT_THROW(log.GetRecord(-1), std::out_of_range);
    log.Reset();
    EXPECT_EQ(log.GetCount(), 0);
    EXPECT_EQ(log.GetMaxLevel(), kLevelOk);
    EXPECT_EQ(log.AddRecord("/c"), 0); // usable again after the lock was released
}

TEST(Log, ConcurrentWorkersGetDenseUniqueIndices) {
    CLog log;
    std::vector<std::thread> threads;
    std::vector<std::vector<std::int64_t>> got(4);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                const auto index = log.AddRecord("/f" + std::to_string(t));
                log.SetStatus(index, kLevelWarning, kMsgDestOverwritten);
                got[t].push_back(index);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::vector<std::int64_t> all;
    for (const auto& indices : got) {
        all.insert(all.end(), indices.begin(), indices.end());
    }
    std::sort(all.begin(), all.end());
    ASSERT_EQ(log.GetCount(), 2000);
    for (std::int64_t i = 0; i < 2000; ++i) {
        ASSERT_EQ(all[static_cast<std::size_t>(i)], i);
    }
    EXPECT_EQ(log.GetMaxLevel(), kLevelWarning);
}

// Runs appending to one log file at once (two runs, or a run and an editor):
// each write lands whole or fails as a whole, the mark stays only at the
// start, and a reader on another thread sees only complete records.
TEST(Log, ConcurrentWritersLeaveWholeRunsOrFail) {
    constexpr int kWriters = 4;
    constexpr int kRounds = 10;
    constexpr int kRecords = 40;
    CControllerBase run(nullptr, 1252, kOutputPrefixedCopy, "_u_", kFormatUtf8, false, false,
                        false);
    TempDir dir;
    const std::string path = dir / "shared.log";
    std::vector<std::vector<int>> written(kWriters); // rounds that reported success
    std::vector<std::thread> threads;
    for (int t = 0; t < kWriters; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                CLog log;
                std::vector<std::int64_t> order;
                std::thread reader([&] {
                    for (int i = 0; i < kRecords; ++i) {
                        if (log.GetCount() > 0) {
                            EXPECT_EQ(log.GetRecord(0).strFileName.rfind("/w", 0), 0u);
                        }
                    }
                });
                for (int i = 0; i < kRecords; ++i) {
                    order.push_back(log.AddRecord("/w" + std::to_string(t) + "/r" +
                                                  std::to_string(round) + "/" + std::to_string(i)));
                }
                reader.join();
                if (log.Write(path, order, true, run)) {
                    written[t].push_back(round);
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    const std::string file = ReadFile(path);
    ASSERT_GE(file.size(), 2u);
    EXPECT_EQ(file.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(file.find("\xFF\xFE", 2), std::string::npos);
    const std::string text = Ascii(file.substr(2));
    // Every run is one header followed by its own records only, in order, and
    // exactly the runs that reported success are there, once each.
    std::vector<std::string> expected;
    for (int t = 0; t < kWriters; ++t) {
        for (const int round : written[t]) {
            expected.push_back("/w" + std::to_string(t) + "/r" + std::to_string(round) + "/");
        }
    }
    std::vector<std::string> found;
    const std::string header = "Varnolt Unicode Conversion Log - ";
    for (std::size_t at = text.find(header); at != std::string::npos;) {
        const std::size_t next = text.find(header, at + 1);
        std::istringstream one(text.substr(at, next == std::string::npos ? next : next - at));
        std::vector<std::string> files;
        for (std::string line; std::getline(one, line);) {
            if (line.starts_with("File: ")) {
                files.push_back(line.substr(6, line.size() - 7)); // without "\r"
            }
        }
        ASSERT_EQ(files.size(), static_cast<std::size_t>(kRecords));
        const std::string prefix = files[0].substr(0, files[0].rfind('/') + 1);
        for (int i = 0; i < kRecords; ++i) {
            EXPECT_EQ(files[static_cast<std::size_t>(i)], prefix + std::to_string(i));
        }
        found.push_back(prefix);
        at = next;
    }
    std::sort(expected.begin(), expected.end());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, expected);
    EXPECT_FALSE(expected.empty());
}

TEST(Log, FileBytesMatchTheFormat) {
    CLog log;
    log.AddRecord("/data/a.txt");
    log.SetStatus(log.AddRecord("/data/b.htm"), kLevelWarning, kMsgNoMetaTag);
    log.AddRecord(""); // an empty list entry is not written
    log.SetStatus(log.AddRecord("/data/c.txt"), kLevelError, kMsgDestExistsSkipped);
    CControllerBase run(nullptr, 1252, kOutputPrefixedCopy, "_unicode_", kFormatUtf8, true, true,
                        false);
    TempDir dir;
    const std::string path = dir / "run.log";
    const test::ScopedEnv cLocale("LC_ALL", "C");
    const std::time_t before = std::time(nullptr);
    ASSERT_TRUE(log.Write(path, {3, 0, 2, 1}, false, run));
    const std::time_t after = std::time(nullptr);
    const std::string file = ReadFile(path);
    const std::string when = HeaderDateTime(file);
    const auto possible = CLocaleDateTimesBetween(before, after);
    EXPECT_TRUE(std::find(possible.begin(), possible.end(), Ascii(when)) != possible.end())
        << Ascii(when) << " is not " << possible.front();
    const std::string expected =
        "\xFF\xFE" +
        Le("============================================================\r\n"
           "Varnolt Unicode Conversion Log - ") +
        when +
        Le("\r\n\r\n"
           "Source Encoding:Western (Windows Char. Set)\r\n"
           "Output Option: Add a filename prefix to converted files: _unicode_\r\n"
           "Unicode Format: UTF-8\r\n"
           "Add / Update UTF-8 charset Meta Tag to HTML files:Yes\r\n"
           "Convert HTML Character Entity to Raw Unicode:No\r\n"
           "Add Byte-Order Mark to Converted Files:Yes\r\n"
           "\r\n=====\r\n"
           "File: /data/c.txt\r\n"
           "Status: Error - The file is not converted because the destination file already "
           "exists.\r\n\r\n"
           "File: /data/a.txt\r\n"
           "Status: OK\r\n\r\n"
           "File: /data/b.htm\r\n"
           "Status: Warning - No UTF-8 charset Meta Tag is added/updated.\r\n\r\n");
    EXPECT_EQ(Ascii(file), Ascii(expected));
    EXPECT_EQ(file, expected);
}

TEST(Log, SettingsBlockFollowsTheRunOptions) {
    CLog log;
    struct Case {
        std::int32_t codePage;
        int option;
        int format;
        bool meta;
        const char* block;
    };
    const Case cases[] = {
        {999, kOutputOverBackup, kFormatUtf16Le, true,
         "Source Encoding:\r\n"
         "Output Option: Overwrite after backup original files by adding filename prefix: "
         "_org_\r\n"
         "Unicode Format: Unicode (UTF-16 Little Endian)\r\n"
         "Convert HTML Character Entity to Raw Unicode:Yes\r\n"
         "Add Byte-Order Mark to Converted Files:No\r\n"},
        {65001, kOutputToFolder, kFormatUtf16Be, false,
         "Source Encoding:Unicode (UTF-8)\r\n"
         "Output Option: Output to Folder _org_\r\n"
         "Unicode Format: Unicode (UTF-16 Big Endian)\r\n"
         "Convert HTML Character Entity to Raw Unicode:Yes\r\n"
         "Add Byte-Order Mark to Converted Files:No\r\n"},
        {932, kOutputPrefixedCopy, kFormatUtf8, false,
         "Source Encoding:Japanese (Shift-JIS)\r\n"
         "Output Option: Add a filename prefix to converted files: _org_\r\n"
         "Unicode Format: UTF-8\r\n"
         "Add / Update UTF-8 charset Meta Tag to HTML files:No\r\n"
         "Convert HTML Character Entity to Raw Unicode:Yes\r\n"
         "Add Byte-Order Mark to Converted Files:No\r\n"},
    };
    for (const Case& c : cases) {
        CControllerBase run(nullptr, c.codePage, c.option, "_org_", c.format, c.meta, false, true);
        const std::u16string text = log.FormatRun({}, run);
        const std::size_t start = text.find(u"Source Encoding:");
        const std::size_t end = text.find(u"\r\n=====\r\n");
        ASSERT_NE(end, std::u16string::npos);
        EXPECT_EQ(std::string(text.begin() + static_cast<std::ptrdiff_t>(start),
                              text.begin() + static_cast<std::ptrdiff_t>(end)),
                  c.block);
    }
}

TEST(Log, AppendAddsARunWithoutASecondMark) {
    CLog log;
    log.AddRecord("/x");
    CControllerBase run(nullptr, 1252, kOutputPrefixedCopy, "_u_", kFormatUtf8, false, false,
                        false);
    TempDir dir;
    const std::string path = dir / "log.txt";
    ASSERT_TRUE(log.Write(path, {0}, true, run)); // new file: starts with the mark
    const std::string first = ReadFile(path);
    ASSERT_EQ(first.substr(0, 2), "\xFF\xFE");
    ASSERT_TRUE(log.Write(path, {0}, true, run));
    const std::string both = ReadFile(path);
    ASSERT_EQ(both.substr(0, first.size()), first);
    const std::string second = both.substr(first.size());
    EXPECT_EQ(second.substr(0, 4), Le("=="));
    EXPECT_EQ(second.find("\xFF\xFE"), std::string::npos);
    EXPECT_FALSE(HeaderDateTime(second).empty());

    WriteFile(path, ""); // an existing empty file gets the mark
    ASSERT_TRUE(log.Write(path, {0}, true, run));
    EXPECT_EQ(ReadFile(path).substr(0, 2), "\xFF\xFE");

    ASSERT_TRUE(log.Write(path, {0}, true, run));
    ASSERT_TRUE(log.Write(path, {0}, false, run)); // replace: one run again
    const std::string replaced = ReadFile(path);
    EXPECT_EQ(replaced.substr(0, 2), "\xFF\xFE");
    const std::string title = Le("Conversion Log - ");
    EXPECT_NE(replaced.find(title), std::string::npos);
    EXPECT_EQ(replaced.find(title, replaced.find(title) + 1), std::string::npos);
}

TEST(Log, WriteReportsFailureAndNeedsARun) {
    CLog log;
    log.AddRecord("/x");
    CControllerBase run(nullptr, 1252, kOutputPrefixedCopy, "_u_", kFormatUtf8, false, false,
                        false);
    TempDir dir;
    EXPECT_FALSE(log.Write(dir / "missing/log.txt", {0}, false, run));
    EXPECT_FALSE(log.Write(dir.Path(), {0}, false, run)); // a folder

    // Without a run under way there are no settings to print.
    CControllerBase::SetCurrent(nullptr);
    EXPECT_FALSE(log.Write(dir / "log.txt", {0}, false));
    {
        CControllerBase current(nullptr, 1252, kOutputToFolder, "/out/", kFormatUtf8, false, false,
                                false);
        CControllerBase::SetCurrent(&current);
        ASSERT_TRUE(log.Write(dir / "log.txt", {0}, false));
        EXPECT_NE(ReadFile(dir / "log.txt").find(Le("Output to Folder /out/")), std::string::npos);
    }
    EXPECT_EQ(CControllerBase::GetCurrent(), nullptr); // cleared with the controller
}

TEST(Log, HeaderDateIsALongDateAndTime) {
    test::ScopedEnv lcAll("LC_ALL", "C");
    CLog log;
    CControllerBase run(nullptr, 1252, kOutputPrefixedCopy, "_u_", kFormatUtf8, false, false,
                        false);
    const std::u16string text = log.FormatRun({}, run);
    const std::string ascii(text.begin(), text.end());
    const std::size_t start = ascii.find("Log - ");
    const std::size_t end = ascii.find("\r\n\r\n");
    ASSERT_NE(start, std::string::npos);
    // "Thursday, 10 December 2026 07:04:49"
    std::istringstream in(ascii.substr(start + 6, end - start - 6));
    std::string weekday, day, month, year, time, rest;
    in >> weekday >> day >> month >> year >> time >> rest;
    const char* days[] = {"Monday,", "Tuesday,",  "Wednesday,", "Thursday,",
                          "Friday,", "Saturday,", "Sunday,"};
    EXPECT_NE(std::find(std::begin(days), std::end(days), weekday), std::end(days)) << weekday;
    EXPECT_TRUE(std::stoi(day) >= 1 && std::stoi(day) <= 31) << day;
    EXPECT_TRUE(month.size() >= 3 && std::isupper(static_cast<unsigned char>(month[0]))) << month;
    EXPECT_EQ(year.size(), 4u);
    ASSERT_EQ(time.size(), 8u);
    EXPECT_TRUE(time[2] == ':' && time[5] == ':') << time;
    EXPECT_TRUE(rest.empty());
}

// The text after the header's date, which two writes share.
std::string AfterHeader(const std::string& file) {
    const std::size_t at = file.find(Le("Source Encoding"));
    return at == std::string::npos ? std::string() : file.substr(at);
}

// A streamed log writes the same file as one that kept every record, whether
// its scratch file works or not (a missing temporary folder keeps the text in
// memory), with records completed out of order as worker threads do, and
// blocks of text crossing the scratch file's block size.
TEST(Log, StreamedRecordsWriteTheSameFileInRecordOrder) {
    constexpr int kRecords = 3000;
    CControllerBase run(nullptr, 1252, kOutputOverBackup, "_org_", kFormatUtf8, false, true, false);
    const char* saved = std::getenv("TMPDIR");
    const std::string savedTmp = saved != nullptr ? saved : "";
    for (const bool scratchWorks : {true, false}) {
        SCOPED_TRACE(scratchWorks ? "scratch file" : "no temporary folder");
        TempDir dir;
        if (!scratchWorks) {
            ::setenv("TMPDIR", (dir / "missing").c_str(), 1);
        }
        CLog plain;
        CLog streamed;
        streamed.StreamCompletedRecords();
        std::vector<std::int64_t> order;
        for (int i = 0; i < kRecords; ++i) {
            // Some names need escaping; one entry has no name at all.
            const std::string name = i == 7        ? std::string()
                                     : i % 97 == 0 ? "/data/line\nbreak " + std::to_string(i)
                                                   : "/data/" + std::to_string(i) + ".txt";
            order.push_back(plain.AddRecord(name));
            ASSERT_EQ(streamed.AddRecord(name), i);
            const int level = i % 5 == 0 ? kLevelError : i % 3 == 0 ? kLevelWarning : kLevelOk;
            const int message = level == kLevelError ? kMsgInvalidCharacter : kMsgNoMetaTag;
            plain.SetStatus(i, level, message);
            streamed.SetStatus(i, level, message);
            // Files finish out of order, eight in flight.
            if (i % 8 == 7) {
                for (int done = i; done > i - 8; --done) {
                    if (done != 1000) {
                        streamed.CompleteRecord(done);
                    }
                }
            }
        }
        // Record 1000 is still in flight: it and all after it stay readable.
        EXPECT_THROW(streamed.GetRecord(999), std::out_of_range);
        EXPECT_THROW(streamed.SetStatus(999, kLevelError, kMsgInvalidCharacter), std::out_of_range);
        EXPECT_EQ(streamed.GetRecord(1000).strFileName, "/data/1000.txt");
        EXPECT_EQ(streamed.GetRecord(kRecords - 1).nLevel, plain.GetRecord(kRecords - 1).nLevel);
        EXPECT_EQ(streamed.GetCount(), kRecords);
        EXPECT_EQ(streamed.GetMaxLevel(), kLevelError);

        const std::string plainPath = dir / "plain.log";
        ASSERT_TRUE(plain.Write(plainPath, order, false, run));
        const std::string expected = AfterHeader(ReadFile(plainPath));
        ASSERT_GT(expected.size(), 200'000u);
        std::vector<std::int64_t> reversed(order.rbegin(), order.rend());
        EXPECT_FALSE(streamed.Write(dir / "reordered.log", reversed, false, run));

        const std::string streamedPath = dir / "streamed.log";
        ASSERT_TRUE(streamed.WriteInRecordOrder(streamedPath, false, run));
        EXPECT_EQ(AfterHeader(ReadFile(streamedPath)), expected);
        streamed.CompleteRecord(1000);
        ASSERT_TRUE(streamed.Write(streamedPath, order, false, run));
        EXPECT_EQ(AfterHeader(ReadFile(streamedPath)), expected);

        streamed.Reset();
        EXPECT_EQ(streamed.GetCount(), 0);
        EXPECT_EQ(streamed.GetMaxLevel(), kLevelOk);
        EXPECT_EQ(streamed.AddRecord("/again"), 0);
        EXPECT_EQ(streamed.GetRecord(0).strFileName, "/again");
        if (saved != nullptr) {
            ::setenv("TMPDIR", savedTmp.c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }
}

// Workers add, raise and complete records at once while finished records
// stream out: the log holds every record once, each thread's in the order it
// added them, with its last status.
TEST(Log, StreamingUnderConcurrentWorkersKeepsEveryRecordInOrder) {
    constexpr int kThreads = 4;
    constexpr int kPerThread = 1500;
    CLog log;
    log.StreamCompletedRecords();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&log, t] {
            for (int k = 0; k < kPerThread; ++k) {
                const auto index =
                    log.AddRecord("/t" + std::to_string(t) + "/" + std::to_string(k));
                if (k % 10 == 0) {
                    log.SetStatus(index, kLevelWarning, kMsgNoMetaTag);
                }
                log.CompleteRecord(index);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(log.GetCount(), kThreads * kPerThread);
    EXPECT_EQ(log.GetMaxLevel(), kLevelWarning);
    CControllerBase run(nullptr, 1252, kOutputPrefixedCopy, "_u_", kFormatUtf8, false, false,
                        false);
    TempDir dir;
    ASSERT_TRUE(log.WriteInRecordOrder(dir / "run.log", false, run));
    std::istringstream lines(Ascii(ReadFile(dir / "run.log")));
    std::vector<int> next(kThreads, 0);
    int records = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("File: /t", 0) != 0) {
            continue;
        }
        const int t = line[8] - '0';
        const int k = std::stoi(line.substr(10));
        ASSERT_EQ(k, next[static_cast<std::size_t>(t)]) << line;
        ++next[static_cast<std::size_t>(t)];
        std::string status;
        std::getline(lines, status);
        EXPECT_EQ(status.find("Warning") != std::string::npos, k % 10 == 0) << line << status;
        ++records;
    }
    EXPECT_EQ(records, kThreads * kPerThread);
}

TEST(ControllerBase, MetaFlagOnlyForUtf8AndWriterOptions) {
    CControllerBase utf16(nullptr, 1252, kOutputOverBackup, "_org_", kFormatUtf16Le, true, true,
                          true);
    EXPECT_FALSE(utf16.m_bUtf8Meta);
    CControllerBase utf8(nullptr, 1252, kOutputToFolder, "/out/", kFormatUtf8, true, false, false);
    EXPECT_TRUE(utf8.m_bUtf8Meta);
    const COutputOptions o = utf8.MakeOutputOptions(kRuleSkip);
    EXPECT_EQ(o.nOutputOption, kOutputToFolder);
    EXPECT_EQ(o.nUnicodeFormat, kFormatUtf8);
    EXPECT_EQ(o.strPrefixOrFolder, "/out/");
    EXPECT_FALSE(o.bAddBOM);
    EXPECT_EQ(o.nOverwriteRule, kRuleSkip);
}

} // namespace
} // namespace varnolt
