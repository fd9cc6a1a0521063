#!/usr/bin/env bash
# Builds the benchmarks (preset "bench", -O3) and runs every one of them;
# results are in bytes (or items) per second. Extra arguments go to each
# benchmark, e.g. --benchmark_filter=Utf8.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh libbenchmark-dev
cmake --preset bench >/dev/null
cmake --build --preset bench
for bin in build/bench/bench/*_bench; do
    echo "== $(basename "$bin")"
    "$bin" "$@"
done
