// The cost of handing out one index of the parallel loop (items per second):
// with chunk size 1 every file claims its index from one shared counter, so
// this overhead must stay far below the cost of converting the smallest file.
#include "platform/parallel_for.hpp"

#include <atomic>
#include <benchmark/benchmark.h>

namespace {

void BM_ParallelForEmptyItems(benchmark::State& state) {
    const auto threads = static_cast<unsigned>(state.range(0));
    constexpr std::size_t kItems = 100000;
    std::atomic<std::size_t> sum{0};
    for (auto _ : state) {
        varnolt::platform::ParallelFor(kItems, threads, [&](std::size_t i) {
            sum.fetch_add(i & 1, std::memory_order_relaxed);
        });
    }
    benchmark::DoNotOptimize(sum.load());
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kItems));
}
BENCHMARK(BM_ParallelForEmptyItems)->Arg(1)->Arg(2)->Arg(4)->UseRealTime();

} // namespace
