// The parallel loop: every index once, dynamic claiming, per-worker state,
// and exceptions that escape a body.
#include "platform/parallel_for.hpp"
#include "support/test_support.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace varnolt::platform {
namespace {

TEST(ParallelFor, RunsEveryIndexExactlyOnce) {
    for (const std::size_t count : {0u, 1u, 7u, 1000u}) {
        for (const unsigned threads : {1u, 2u, 8u, 0u}) {
            std::vector<std::atomic<int>> hits(count);
            ParallelFor(count, threads, [&](std::size_t i) { hits[i].fetch_add(1); });
            for (std::size_t i = 0; i < count; ++i) {
                ASSERT_EQ(hits[i].load(), 1) << count << " items, " << threads << " threads, " << i;
            }
        }
    }
}

TEST(ParallelFor, OneThreadRunsInOrderOnTheCallingThread) {
    std::vector<std::size_t> order;
    const auto caller = std::this_thread::get_id();
    ParallelFor(50, 1, [&](std::size_t i) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        order.push_back(i);
    });
    ASSERT_EQ(order.size(), 50u);
    for (std::size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(order[i], i);
    }
}

TEST(ParallelRun, OneWorkerPerThreadNoMoreThanItems) {
    struct Case {
        std::size_t count;
        unsigned threads;
        std::size_t workers;
    };
    for (const Case c : {Case{0, 4, 0}, Case{3, 8, 3}, Case{100, 4, 4}, Case{100, 1, 1}}) {
        std::mutex lock;
        std::set<std::thread::id> threadIds;
        std::atomic<std::size_t> calls{0};
        std::atomic<std::size_t> items{0};
        ParallelRun(c.count, c.threads, [&](CIndexQueue& queue) {
            calls.fetch_add(1);
            {
                const std::lock_guard guard(lock);
                threadIds.insert(std::this_thread::get_id());
            }
            auto state = std::make_unique<int>(0); // per-worker state, built once
            while (queue.Next()) {
                ++*state;
            }
            items.fetch_add(static_cast<std::size_t>(*state));
        });
        EXPECT_EQ(calls.load(), c.workers);
        EXPECT_EQ(threadIds.size(), c.workers);
        EXPECT_EQ(items.load(), c.count);
    }
}

// Index 0 waits until every other index is done: only a dynamic schedule,
// where the other worker keeps claiming, gets there.
TEST(ParallelFor, ASlowItemDoesNotHoldBackTheOthers) {
    constexpr std::size_t kCount = 200;
    std::mutex lock;
    std::condition_variable done;
    std::size_t finished = 0;
    bool sawAll = false;
    ParallelFor(kCount, 2, [&](std::size_t i) {
        std::unique_lock guard(lock);
        if (i == 0) {
            sawAll = done.wait_for(guard, std::chrono::seconds(20),
                                   [&] { return finished == kCount - 1; });
        } else if (++finished == kCount - 1) {
            done.notify_all();
        }
    });
    EXPECT_TRUE(sawAll);
}

TEST(ParallelFor, AnEscapingExceptionStopsTheLoopAndReachesTheCaller) {
    // One thread: nothing after the failing index runs.
    std::vector<std::size_t> ran;
    EXPECT_THROW(ParallelFor(100, 1,
                             [&](std::size_t i) {
                                 ran.push_back(i);
                                 if (i == 5) {
                                     throw std::runtime_error("item 5");
                                 }
                             }),
                 std::runtime_error);
    EXPECT_EQ(ran.size(), 6u);

    // Several threads: the caller gets it only after every body has returned.
    std::atomic<int> running{0};
    std::atomic<int> runningAtThrow{-1};
    try {
        ParallelFor(10000, 4, [&](std::size_t i) {
            running.fetch_add(1);
            if (i == 100) {
                running.fetch_sub(1);
                throw std::logic_error("item 100");
            }
            std::this_thread::yield();
            running.fetch_sub(1);
        });
        ADD_FAILURE() << "no exception";
    } catch (const std::logic_error& e) {
        runningAtThrow = running.load();
        EXPECT_STREQ(e.what(), "item 100");
    }
    EXPECT_EQ(runningAtThrow.load(), 0);
}

// Held to one core (taskset, a container's cpuset), a run starts one
// worker, not one per core of the machine.
TEST(ParallelFor, DefaultWorkersAreTheCoresTheProcessMayUse) {
    unsigned count = 0;
    std::set<std::thread::id> workers;
    int coresBefore = 0;
    {
        const test::COneCoreAffinity oneCore;
        ASSERT_TRUE(oneCore.Held());
        coresBefore = oneCore.CoresBefore();
        count = DefaultThreadCount();
        std::mutex lock;
        ParallelRun(64, 0, [&](CIndexQueue& queue) {
            while (queue.Next()) {
                const std::lock_guard guard(lock);
                workers.insert(std::this_thread::get_id());
            }
        });
    }
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(workers.size(), 1u);
    EXPECT_EQ(DefaultThreadCount(), static_cast<unsigned>(coresBefore));
}

} // namespace
} // namespace varnolt::platform
