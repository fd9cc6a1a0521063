#!/usr/bin/env bash
# Sets up, builds and runs every test: the default build, the whole suite
# again under AddressSanitizer + UndefinedBehaviorSanitizer, and the
# concurrency tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

jobs=$(nproc)
# Tests whose names match this run under ThreadSanitizer as well.
concurrency='Concurren|Parallel|Thread|Worker'
for preset in default tsan asan; do
    echo "== build: $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    echo "== test: $preset"
    if [ "$preset" = tsan ]; then
        ctest --preset "$preset" -j "$jobs" -R "$concurrency"
    else
        ctest --preset "$preset" -j "$jobs"
    fi
done
