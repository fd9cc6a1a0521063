// A small parallel loop over indices 0..n-1: dynamic schedule, chunk size 1.
//
// Workers claim the next unclaimed index from one atomic counter, so with one
// thread the indices run in order and with several a long item never holds
// up the others. The calling thread is one of the workers, and the only one
// that takes SIGINT, SIGTERM and SIGHUP (the others block them).
//
// Exceptions: a body is expected to handle the failures of its own item.
// An exception that still escapes is not lost and does not end the process:
// the other workers stop claiming indices, the items already claimed
// finish, every worker is joined, and the first such exception is rethrown
// on the calling thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>

namespace varnolt::platform {

// The default worker count: the cores the process may run on. More workers
// than that (a container's cpuset on a large machine) would only take turns
// on the same cores, each holding its buffers.
unsigned DefaultThreadCount();
// The cores the calling thread may run on (its CPU affinity, which taskset
// or a container's cpuset can narrow), else std::thread::hardware_concurrency(),
// at least 1.
unsigned UsableCoreCount();

// The shared source of indices of one loop.
class CIndexQueue {
public:
    explicit CIndexQueue(std::size_t count) : m_nCount(count) {}
    CIndexQueue(const CIndexQueue&) = delete;
    CIndexQueue& operator=(const CIndexQueue&) = delete;

    // The next unclaimed index, or std::nullopt when all are claimed or the
    // loop was stopped.
    std::optional<std::size_t> Next();
    // No index is handed out after this.
    void Stop() { m_bStopped.store(true, std::memory_order_relaxed); }

private:
    const std::size_t m_nCount;
    std::atomic<std::size_t> m_nNext{0};
    std::atomic<bool> m_bStopped{false};
};

// Runs `worker` once on each of min(threadCount, count) threads (0 means
// DefaultThreadCount()); each call takes indices from the shared queue with
// Next() until it answers std::nullopt, so per-worker state (a pipeline) is
// built once per worker on its own stack. With count 0 no worker runs.
// Returns when every worker has returned. If a thread cannot be started the
// loop runs on the threads it has (at least the calling one).
void ParallelRun(std::size_t count, unsigned threadCount,
                 const std::function<void(CIndexQueue& queue)>& worker);

// ParallelRun with a worker that calls `body(i)` for every index it claims.
void ParallelFor(std::size_t count, unsigned threadCount,
                 const std::function<void(std::size_t index)>& body);

} // namespace varnolt::platform
