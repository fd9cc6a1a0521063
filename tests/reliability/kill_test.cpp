// SIGKILL at random moments of whole `varnolt -u` runs: whatever moment the
// kill lands on, every source path holds its original or (option 0) the
// complete converted text with the original under the backup name, and no
// destination holds a partial file.
#include "output/fault_env.hpp"
#include "support/run_space.hpp"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <random>
#include <sys/wait.h>
#include <thread>

namespace varnolt {
namespace {

using Clock = std::chrono::steady_clock;

std::uint64_t SeedFromEnvironment() {
    if (const char* text = std::getenv("VARNOLT_TEST_SEED")) {
        return std::strtoull(text, nullptr, 10);
    }
    return static_cast<std::uint64_t>(Clock::now().time_since_epoch().count());
}

struct KillRun {
    test::RunSpace space; // all workers by default: kills land in parallel work too
    int option;
    std::vector<test::SourceCase> sources;
    std::vector<std::string> args{"-y"};

    KillRun(int outputOption, std::mt19937_64& random, bool singleThread = false)
        : space(singleThread), option(outputOption) {
        std::filesystem::create_directory(space / "out");
        static const char* const kPrefix[] = {"_org_", "_u_", "out"};
        for (int i = 0; i < 3; ++i) {
            const std::string name = "k" + std::to_string(i) + ".txt";
            test::SourceCase s;
            s.path = space / name;
            const std::size_t size = 50000 + random() % 150000;
            std::u16string units;
            for (std::size_t k = 0; k < size; ++k) {
                const unsigned pick = static_cast<unsigned>(random() % 40);
                s.original.push_back(
                    static_cast<char>(pick < 30 ? 'a' + pick % 26 : 0xE0 + (pick - 30)));
                units.push_back(static_cast<unsigned char>(s.original.back()));
            }
            s.converted = test::EncodeUnicode(units, 2, true);
            s.destination = option == 2 ? space / ("out/" + name)
                                        : space / (std::string(kPrefix[option]) + name);
            // One destination exists already (options 1, 2: replaced under
            // -y, never half-replaced).
            if (i == 1 && option != 0) {
                s.preexisting = "the old destination\n";
                test::WriteFile(*s.destination, *s.preexisting);
            }
            test::WriteFile(s.path, s.original);
            args.push_back(name);
            sources.push_back(s);
        }
        const std::string arg = option == 2 ? space / "out" : kPrefix[option];
        space.WriteProfile(test::MakeOptions(1252, option, arg, 2, true));
    }
};

TEST(KillLoop, SigkillAtRandomMomentsLosesNothing) {
    const std::uint64_t seed = SeedFromEnvironment();
    SCOPED_TRACE("VARNOLT_TEST_SEED=" + std::to_string(seed));
    std::mt19937_64 random(seed);

    // A temporary folder on another file system sends every result through
    // the copy-then-rename path; kills must be safe there too.
    test::TempDir tmpfsRoot;
    std::optional<test::TmpfsMount> tmpfs;
    if (test::CanMount()) {
        tmpfs.emplace(tmpfsRoot.Path(), "64m");
    }

    // How long a whole run takes here (sanitizer builds are slower): the
    // median of three clean runs, which must of course convert everything.
    std::vector<Clock::duration> times;
    for (int i = 0; i < 3; ++i) {
        KillRun clean(0, random);
        const auto start = Clock::now();
        const auto r = clean.space.Run(clean.args);
        times.push_back(Clock::now() - start);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        for (const auto& s : clean.sources) {
            EXPECT_EQ(test::ReadFile(s.path), *s.converted);
        }
    }
    std::sort(times.begin(), times.end());
    const Clock::duration runTime = times[1];
    // Delays are drawn from [0, maxDelay); the bound follows the machine's
    // pace: a run that ended before its kill shortens it, a kill that
    // landed lengthens it a little, so most kills land mid-run.
    double maxDelay = static_cast<double>(
                          std::chrono::duration_cast<std::chrono::microseconds>(runTime).count()) *
                          1.2 +
                      1;

    const auto deadline = Clock::now() + std::chrono::minutes(2);
    int kills = 0; // the kill found the run still going
    int attempts = 0;
    int convertedSeen = 0;
    std::size_t tempLeft = 0;
    std::size_t hiddenCopiesLeft = 0;
    while (kills < 200 && attempts < 1000 && Clock::now() < deadline) {
        ++attempts;
        const int option = attempts % 3;
        KillRun run(option, random);
        const bool crossDevice = tmpfs && tmpfs->Mounted() && attempts % 2 == 0;
        if (crossDevice) {
            const std::string tmp = tmpfsRoot.Path() + "/t" + std::to_string(attempts);
            std::filesystem::create_directory(tmp);
            run.space.SetTempFolder(tmp);
        }
        const auto delay =
            std::chrono::microseconds(random() % static_cast<std::uint64_t>(maxDelay + 1));
        test::Child child = run.space.Start(run.args);
        std::this_thread::sleep_for(delay);
        ::kill(child.pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child.pid, &status, 0), child.pid);
        if (WIFSIGNALED(status)) {
            ++kills;
            maxDelay *= 1.02;
        } else {
            maxDelay *= 0.9;
            // 16: the existing destination was replaced (a warning).
            EXPECT_EQ(WEXITSTATUS(status), option == 0 ? 0 : 16)
                << "a run that was not killed must end well";
        }
        SCOPED_TRACE("attempt " + std::to_string(attempts) + ", option " + std::to_string(option) +
                     ", delay " + std::to_string(delay.count()) + " us");
        for (const auto& problem :
             test::CheckNothingLost(run.space.Root(), option, run.sources, {}, true)) {
            ADD_FAILURE() << problem;
        }
        const auto files = test::Snapshot(run.space.Root());
        for (const auto& [path, bytes] : files) {
            if (path.find(".vnt") == std::string::npos) {
                continue;
            }
            // A copy is nameless until complete: a hidden name only ever
            // holds a whole converted file (killed just before its rename).
            ++hiddenCopiesLeft;
            bool complete = false;
            for (const auto& s : run.sources) {
                complete = complete || bytes == *s.converted;
            }
            EXPECT_TRUE(complete) << "partial copy " << path << " (" << bytes.size() << " bytes)";
        }
        for (const auto& s : run.sources) {
            convertedSeen +=
                option == 0
                    ? files.count(s.path.substr(run.space.Root().size() + 1)) &&
                          files.at(s.path.substr(run.space.Root().size() + 1)) == *s.converted
                    : files.count(s.destination->substr(run.space.Root().size() + 1)) &&
                          files.at(s.destination->substr(run.space.Root().size() + 1)) ==
                              *s.converted;
        }
        tempLeft += test::CountEntries(run.space.TempFolder());
        if (crossDevice) {
            std::filesystem::remove_all(run.space.TempFolder());
        }
        if (HasFailure()) {
            break;
        }
    }
    std::cout << "[ kill loop ] " << attempts << " runs, " << kills << " killed mid-run (max delay "
              << static_cast<long>(maxDelay) << " us at the end), " << convertedSeen
              << " files found converted, " << tempLeft << " temporary files and "
              << hiddenCopiesLeft
              << " complete copies under a hidden name left behind, nothing lost\n";
    EXPECT_GE(kills, 200) << "too few kills landed within the time";
    EXPECT_GT(convertedSeen, 0);
}

// A replacement names the nameless converted file in two steps: a link to a
// hidden name beside the destination, then a rename over it. A kill between
// the two leaves the old file in place (option 0: the original, with its
// backup) and the complete converted text under the hidden name: the one
// leftover a kill can cause, and it loses nothing.
TEST(KillLoop, KilledBetweenTheHiddenLinkAndItsRenameLeavesOnlyACompleteCopy) {
    std::mt19937_64 random(1);
    for (int option = 0; option <= 2; ++option) {
        SCOPED_TRACE("option " + std::to_string(option));
        KillRun run(option, random, /*singleThread=*/true);
        // Option 0 replaces every source, so k0 meets the window; options 1
        // and 2 replace only k1's existing destination.
        const std::size_t hit = option == 0 ? 0 : 1;
        const auto r = run.space.Run(run.args, {"VARNOLT_FAULT=hiddensignal:1:SIGKILL"});
        EXPECT_EQ(r.exitCode, 128 + SIGKILL) << r.err;
        for (const auto& problem :
             test::CheckNothingLost(run.space.Root(), option, run.sources, {}, true)) {
            ADD_FAILURE() << problem;
        }
        const test::SourceCase& s = run.sources[hit];
        if (option == 0) {
            EXPECT_EQ(test::ReadFile(s.path), s.original);
            EXPECT_EQ(test::ReadFile(*s.destination), s.original); // the backup link
        } else {
            EXPECT_EQ(test::ReadFile(*s.destination), *s.preexisting);
        }
        std::vector<std::string> hidden;
        for (const auto& [path, bytes] : test::Snapshot(run.space.Root())) {
            if (path.find("/.vnt") != std::string::npos || path.rfind(".vnt", 0) == 0) {
                hidden.push_back(path);
                EXPECT_EQ(bytes, *s.converted) << path;
            }
        }
        EXPECT_EQ(hidden.size(), 1u);
        EXPECT_EQ(test::CountEntries(run.space.TempFolder()), 0u);
    }
}

} // namespace
} // namespace varnolt
