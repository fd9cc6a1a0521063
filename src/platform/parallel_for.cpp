// The parallel loop on standard threads.
#include "platform/parallel_for.hpp"

#include "platform/stop_signals.hpp"

#include <algorithm>
#include <exception>
#include <mutex>
#include <sched.h>
#include <system_error>
#include <thread>
#include <vector>

namespace varnolt::platform {

unsigned DefaultThreadCount() {
    return UsableCoreCount();
}

unsigned UsableCoreCount() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
        return static_cast<unsigned>(CPU_COUNT(&set));
    }
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

std::optional<std::size_t> CIndexQueue::Next() {
    if (m_bStopped.load(std::memory_order_relaxed)) {
        return std::nullopt;
    }
    // fetch_add can run past the end when many workers ask at once; the
    // counter is a size_t, so it cannot wrap in any real loop.
    const std::size_t index = m_nNext.fetch_add(1, std::memory_order_relaxed);
    if (index >= m_nCount) {
        return std::nullopt;
    }
    return index;
}

void ParallelRun(std::size_t count, unsigned threadCount,
                 const std::function<void(CIndexQueue& queue)>& worker) {
    if (count == 0) {
        return;
    }
    if (threadCount == 0) {
        threadCount = DefaultThreadCount();
    }
    const std::size_t workers = std::min<std::size_t>(threadCount, count);

    CIndexQueue queue(count);
    std::mutex errorLock;
    std::exception_ptr firstError;
    const auto runWorker = [&] {
        try {
            worker(queue);
        } catch (...) {
            queue.Stop();
            const std::lock_guard lock(errorLock);
            if (!firstError) {
                firstError = std::current_exception();
            }
        }
    };

    std::vector<std::thread> threads;
    threads.reserve(workers - 1);
    {
        // The new threads inherit the blocked stop signals: a stop signal is
        // always handled on the calling thread, never in the middle of
        // another worker's step.
        const CBlockStopSignals block;
        for (std::size_t i = 1; i < workers; ++i) {
            try {
                threads.emplace_back(runWorker);
            } catch (const std::system_error&) {
                break; // fewer threads; the ones we have share the work
            }
        }
    }
    runWorker();
    for (auto& thread : threads) {
        thread.join();
    }
    if (firstError) {
        std::rethrow_exception(firstError);
    }
}

void ParallelFor(std::size_t count, unsigned threadCount,
                 const std::function<void(std::size_t index)>& body) {
    ParallelRun(count, threadCount, [&body](CIndexQueue& queue) {
        while (const auto index = queue.Next()) {
            body(*index);
        }
    });
}

} // namespace varnolt::platform
