#!/usr/bin/env bash
# Builds every libFuzzer target (preset "fuzz", clang) and runs each for the
# given number of seconds (default 60), starting from its seed corpus in
# fuzz/corpus/<target>/. New inputs go to build/fuzz/corpus/<target>/;
# crashes to build/fuzz/crashes/<target>/.
# Usage: scripts/fuzz.sh [seconds-per-target] [target-name-filter]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh clang libclang-rt-dev
seconds=${1:-60}
filter=${2:-}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
status=0
for bin in build/fuzz/fuzz/*_fuzz; do
    name=$(basename "$bin")
    [[ -n "$filter" && "$name" != *"$filter"* ]] && continue
    work=build/fuzz/corpus/$name
    crashes=build/fuzz/crashes/$name
    mkdir -p "$work" "$crashes"
    seeds=()
    [ -d "fuzz/corpus/$name" ] && seeds+=("fuzz/corpus/$name")
    echo "== $name for ${seconds}s"
    if ! "$bin" -max_total_time="$seconds" -artifact_prefix="$crashes/" \
            "$work" "${seeds[@]}"; then
        status=1
    fi
done
exit $status
