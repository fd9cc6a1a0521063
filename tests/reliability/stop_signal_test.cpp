// SIGINT, SIGTERM and SIGHUP during whole `varnolt -u` runs, sent at a
// chosen write through the VARNOLT_FAULT seam: the run stops beginning
// files, discards the file being read, leaves no temporary file, writes the
// log for what was done and exits with 128 + the signal; a second signal
// ends the process at once, still without a temporary file or a partial
// destination.
#include "settings/string_table.hpp"
#include "support/run_space.hpp"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sys/wait.h>

namespace varnolt {
namespace {

using test::SourceCase;

const char* const kPrefix[] = {"_org_", "_u_", "out"};

// Sources s1..s4 in list order; s2 is large (many 256 KiB read blocks, many
// 64 KiB writes), the others small.
struct StopRun {
    test::RunSpace space;
    int option;
    std::vector<SourceCase> sources;
    std::vector<std::string> args;

    StopRun(int outputOption, bool singleThread = true, std::size_t count = 4)
        : space(singleThread), option(outputOption) {
        std::filesystem::create_directory(space / "out");
        for (std::size_t i = 1; i <= count; ++i) {
            const std::string name = "s" + std::to_string(i) + ".txt";
            SourceCase s;
            s.path = space / name;
            s.original = test::LatinText(i == 2 ? 3'000'000 : 30'000 + i, static_cast<unsigned>(i));
            std::u16string units;
            for (const char c : s.original) {
                units.push_back(static_cast<unsigned char>(c));
            }
            s.converted = test::EncodeUnicode(units, 2, true);
            s.destination = option == 2 ? space / ("out/" + name)
                                        : space / (std::string(kPrefix[option]) + name);
            test::WriteFile(s.path, s.original);
            args.push_back(name);
            sources.push_back(s);
        }
        const std::string arg = option == 2 ? space / "out" : kPrefix[option];
        space.WriteProfile(test::MakeOptions(1252, option, arg, 2, true));
    }

    // Runs to the end; the process must exit (not die by the signal).
    int RunWithFault(const std::string& fault) {
        const test::Child child = space.Start(args, {"VARNOLT_FAULT=" + fault});
        int status = 0;
        EXPECT_EQ(::waitpid(child.pid, &status, 0), child.pid);
        m_strErr = test::ReadFile(child.errPath);
        EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Whether the file's result (converted text, at the source in option 0)
    // is in place.
    bool Converted(const SourceCase& s) const {
        const std::string& at = option == 0 ? s.path : *s.destination;
        return std::filesystem::exists(at) && test::ReadFile(at) == *s.converted;
    }

    void CheckSafe(bool killed) const {
        for (const auto& problem :
             test::CheckNothingLost(space.Root(), option, sources, {}, killed)) {
            ADD_FAILURE() << problem;
        }
        EXPECT_EQ(test::CountEntries(space.TempFolder()), 0u) << "temporary files left";
    }

    std::string m_strErr;
};

// The signals are ours to catch only when whoever started the tests did not
// ignore them (nohup); an ignored signal stays ignored in the program too.
bool SignalIgnoredHere(int sig) {
    struct sigaction old {};
    return ::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN;
}

TEST(StopSignals, FirstSignalStopsTheRunCleanlyWithItsExitCode) {
    struct Case {
        const char* name;
        int sig;
        int exitCode;
        int option;
    };
    const Case cases[] = {
        {"SIGINT", SIGINT, 130, 0},
        {"SIGTERM", SIGTERM, 143, 1},
        {"SIGHUP", SIGHUP, 129, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (SignalIgnoredHere(c.sig)) {
            GTEST_SKIP() << c.name << " is ignored by the process that started the tests";
        }
        StopRun run(c.option);
        // Write 3 lands in s2's temporary file: s1 is done by then (one
        // write of its text, one of its log record).
        const int code = run.RunWithFault(std::string("signal:3:") + c.name);
        EXPECT_EQ(code, c.exitCode) << run.m_strErr;
        run.CheckSafe(false);

        // s1 finished, s2 was discarded mid-read, s3 and s4 were never begun.
        EXPECT_TRUE(run.Converted(run.sources[0]));
        for (std::size_t i = 1; i < 4; ++i) {
            EXPECT_FALSE(run.Converted(run.sources[i])) << i;
            EXPECT_EQ(test::ReadFile(run.sources[i].path), run.sources[i].original);
            EXPECT_FALSE(std::filesystem::exists(*run.sources[i].destination)) << i;
        }
        const auto records = test::ReadLogRecords(run.space.LogPath());
        ASSERT_EQ(records.size(), 2u) << "only the files begun are logged";
        EXPECT_EQ(records[0].name, run.sources[0].path);
        EXPECT_EQ(records[0].status, "OK");
        EXPECT_EQ(records[1].name, run.sources[1].path);
        EXPECT_EQ(records[1].status, test::StatusText(5016));
    }
}

TEST(StopSignals, SecondSignalEndsAtOnceWithoutTemporaryFiles) {
    if (SignalIgnoredHere(SIGTERM)) {
        GTEST_SKIP() << "SIGTERM is ignored by the process that started the tests";
    }
    for (int option = 0; option < 3; ++option) {
        SCOPED_TRACE("option " + std::to_string(option));
        StopRun run(option);
        // A signal at write 3 and again at every later write: the second
        // comes while s2's temporary file is being written.
        const int code = run.RunWithFault("signal:3+:SIGTERM");
        EXPECT_EQ(code, 143) << run.m_strErr;
        run.CheckSafe(true);
        EXPECT_TRUE(run.Converted(run.sources[0]));
        EXPECT_FALSE(std::filesystem::exists(*run.sources[1].destination));
        EXPECT_EQ(test::ReadFile(run.sources[1].path), run.sources[1].original);
    }
}

// SIGTERM to the whole process group (a service manager, `kill -- -PGID`)
// reaches the main program directly and again through the front end, which
// passes SIGTERM on: that is one request to stop, not two, so the run still
// stops cleanly and writes its log.
TEST(StopSignals, SigtermToTheFrontEndsGroupStopsTheRunOnce) {
    if (SignalIgnoredHere(SIGTERM)) {
        GTEST_SKIP() << "SIGTERM is ignored by the process that started the tests";
    }
    StopRun run(0);
    std::vector<std::string> names;
    for (const auto& s : run.sources) {
        names.push_back(std::filesystem::path(s.path).filename());
    }
    const auto r = run.space.RunFrontEnd(names, {"VARNOLT_FAULT=groupsignal:3:SIGTERM"});
    EXPECT_EQ(r.exitCode, 143) << r.out << r.err;
    EXPECT_NE(r.out.find("The conversion was interrupted."), std::string::npos) << r.out;
    run.CheckSafe(false);
    EXPECT_TRUE(run.Converted(run.sources[0]));
    const auto records = test::ReadLogRecords(run.space.LogPath());
    ASSERT_EQ(records.size(), 2u) << "the log of a stopped run lists the files begun";
    EXPECT_EQ(records[0].status, "OK");
    EXPECT_EQ(records[1].status, test::StatusText(5016));
}

// All workers at once: whatever each was doing, every file ends converted
// and logged OK, or untouched and logged as interrupted, or untouched and
// not logged at all (never begun).
TEST(StopSignals, ParallelWorkersStopCleanly) {
    if (SignalIgnoredHere(SIGINT)) {
        GTEST_SKIP() << "SIGINT is ignored by the process that started the tests";
    }
    StopRun run(2, /*singleThread=*/false, 30);
    const int code = run.RunWithFault("signal:4:SIGINT");
    EXPECT_EQ(code, 130) << run.m_strErr;
    run.CheckSafe(false);
    std::map<std::string, std::string> statuses;
    for (const auto& record : test::ReadLogRecords(run.space.LogPath())) {
        EXPECT_TRUE(statuses.emplace(record.name, record.status).second) << record.name;
    }
    for (const auto& s : run.sources) {
        const auto found = statuses.find(s.path);
        if (found == statuses.end()) {
            EXPECT_FALSE(std::filesystem::exists(*s.destination)) << s.path;
        } else if (found->second == "OK") {
            EXPECT_TRUE(run.Converted(s)) << s.path;
        } else {
            EXPECT_EQ(found->second, test::StatusText(5016)) << s.path;
            EXPECT_FALSE(std::filesystem::exists(*s.destination)) << s.path;
        }
    }
    EXPECT_LT(statuses.size(), run.sources.size()) << "the run did not stop";
}

} // namespace
} // namespace varnolt
