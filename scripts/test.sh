#!/usr/bin/env bash
# Sets up, builds and runs every test: the default build, then under
# AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

jobs=$(nproc)
for preset in default asan; do
    echo "== build: $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    echo "== test: $preset"
    ctest --preset "$preset" -j "$jobs"
done
