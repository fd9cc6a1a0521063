#!/usr/bin/env bash
# Load run of the console conversion: 100,000 small files in one run and one
# 2 GiB file, each checked for peak memory (under 64 MiB), a complete output
# and a log with one OK record per file, plus the memory one more file costs
# (at most 128 bytes). Not part of ctest.
# Usage: bench/load.sh [SMALL_COUNT] [LARGE_MIB]
set -euo pipefail
cd "$(dirname "$0")/.."
small_count=${1:-100000}
large_mib=${2:-2048}
limit_kb=$((64 * 1024))
tmp=${TMPDIR:-/tmp}
free_kb=$(df -Pk "$tmp" | awk 'NR==2{print $4}')
if [ "$free_kb" -lt $((6 * 1024 * 1024)) ]; then
    echo "SKIPPED: less than 6 GiB free in $tmp ($((free_kb / 1024)) MiB)"
    exit 0
fi
. bench/common.sh varnolt-load
write_profile "$work/p.vnp" 1252 "$work/out"

failures=0
check() { # name expected-files log
    local rss secs records ok files
    rss=$(peak_rss_kb "$work/time.txt")
    secs=$(awk -F': ' '/Elapsed \(wall clock\)/{print $2}' "$work/time.txt")
    records=$(iconv -f UTF-16 -t UTF-8 "$3" | grep -c '^File: ' || true)
    ok=$(iconv -f UTF-16 -t UTF-8 "$3" | tr -d '\r' | grep -c '^Status: OK$' || true)
    files=$(find "$work/out" -type f | wc -l)
    echo "$1: $secs wall, peak RSS $((rss / 1024)) MiB, $records log records, $ok OK, $files files written"
    if [ "$rss" -ge $limit_kb ] || [ "$records" -ne "$2" ] || [ "$ok" -ne "$2" ] || [ "$files" -ne "$2" ]; then
        echo "$1: FAILED (expected $2 records, files and OK statuses, RSS under 64 MiB)"
        failures=$((failures + 1))
    fi
}

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
python3 tools/make_corpus.py --lang west --size 4096 --count "$small_count" --out "$work/small"
mkdir -p "$work/out"
# What one more file costs, to tell how memory grows with the number of
# files (the under-64-MiB check alone would hide a growth until far more
# files): the run is compared with one over a tenth of the files, so fixed
# costs (worker pipelines, first buffers) cancel out.
tenth=$((small_count / 10))
mkdir -p "$work/tenth"
find "$work/small" -name '*.txt' | sed -n "1,${tenth}p" | xargs -d '\n' ln -t "$work/tenth"
/usr/bin/time -v -o "$work/time.txt" "$exe" -u -c "$work/p.vnp" -l "$work/tenth.log" -y "$work/tenth/*.txt" >/dev/null
tenth_kb=$(peak_rss_kb "$work/time.txt")
rm -rf "$work/tenth" && rm -rf "$work/out" && mkdir -p "$work/out"
/usr/bin/time -v -o "$work/time.txt" "$exe" -u -c "$work/p.vnp" -l "$work/small.log" -y "$work/small/*.txt" >/dev/null
check "$small_count small files" "$small_count" "$work/small.log"
many_kb=$(peak_rss_kb "$work/time.txt")
per_file=$(((many_kb - tenth_kb) * 1024 / (small_count - tenth)))
echo "memory growth: about $per_file bytes per file (runs over $tenth and $small_count files)"
if [ "$per_file" -gt 128 ]; then
    echo "memory growth: FAILED (more than 128 bytes per file: 64 MiB would be reached below 500,000 files)"
    failures=$((failures + 1))
fi
rm -rf "$work/small" "$work/out"

python3 tools/make_corpus.py --lang west --size $((large_mib << 20)) --out "$work/large.txt"
mkdir -p "$work/out"
/usr/bin/time -v -o "$work/time.txt" "$exe" -u -c "$work/p.vnp" -l "$work/large.log" -y "$work/large.txt" >/dev/null
check "one $large_mib MiB file" 1 "$work/large.log"
cmp -s <(iconv -f CP1252 -t UTF-8 "$work/large.txt") "$work/out/large.txt" ||
    { echo "large file: output differs from iconv's"; failures=$((failures + 1)); }
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
[ $failures -eq 0 ] && echo "load: all checks passed"
exit $failures
