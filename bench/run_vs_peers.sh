#!/usr/bin/env bash
# Whole-run speed of the console conversion against iconv, uconv and cp on a
# generated corpus: one 256 MiB file and 10,000 files of 4 KiB, in Western
# (1252) and Japanese (932) prose. Prints MB/s, files per second and peak RSS.
# Two floors that transform nothing: `cat SRC > DST` for the large file (the
# bytes through user space once), and for the small files bench/protocol_floor.c
# (read, mkstemp, write, rename, single-threaded; "floor" makes the temporary
# file in the output folder, "floor-tmp" in $TMPDIR; "floor-jN" is the same
# protocol in one process per usable core, what the kernel allows on this
# machine); varnolt's figures are printed as ratios of them.
# Not part of ctest. Usage: bench/run_vs_peers.sh [SMALL_COUNT] [LARGE_MIB]
set -euo pipefail
cd "$(dirname "$0")/.."
small_count=${1:-10000}
large_mib=${2:-256}
. bench/common.sh varnolt-bench
floor=$work/protocol_floor
cc -O2 -o "$floor" bench/protocol_floor.c
cores=$(nproc) # the cores this process may run on, as varnolt's workers count them

# Runs a command under /usr/bin/time; sets SECS and RSS_KB.
measure() {
    local t0 t1
    t0=$(date +%s%N)
    /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt" || {
        echo "FAILED: $*" >&2; tail -5 "$work/err.txt" >&2; }
    t1=$(date +%s%N)
    SECS=$(awk -v a="$t0" -v b="$t1" 'BEGIN{print (b-a)/1e9}')
    RSS_KB=$(peak_rss_kb "$work/time.txt")
}

row() { # tool lang kind secs bytes files rss
    awk -v t="$1" -v l="$2" -v k="$3" -v s="$4" -v b="$5" -v f="$6" -v r="$7" 'BEGIN{
        if (s <= 0) s = 0.001
        printf "%-9s %-5s %-6s %9.2f s %9.1f MB/s %9.0f files/s %8.1f MiB\n", t, l, k, s, b/s/1e6, f/s, r/1024 }'
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "tool      lang  set         time     throughput     files/sec   peak RSS"
for lang in west ja; do
    cp_name=$([ $lang = west ] && echo 1252 || echo 932)
    icv_name=$([ $lang = west ] && echo CP1252 || echo CP932)
    ucv_name=$([ $lang = west ] && echo windows-1252 || echo ibm-943_P15A-2003)
    src=$work/$lang
    mkdir -p "$src/small"
    python3 tools/make_corpus.py --lang $lang --size $((large_mib << 20)) --out "$src/large.txt"
    python3 tools/make_corpus.py --lang $lang --size 4096 --count "$small_count" --out "$src/small"
    large_bytes=$(stat -c %s "$src/large.txt")
    small_bytes=$(du -sb "$src/small" | cut -f1)
    out=$work/out; prof=$work/$lang.vnp

    # Large file.
    rm -rf "$out"; mkdir -p "$out"; write_profile "$prof" $cp_name "$out"
    sync; measure "$exe" -u -c "$prof" -l "$work/log" -y "$src/large.txt"
    row varnolt $lang large "$SECS" "$large_bytes" 1 "$RSS_KB"
    varnolt_large=$SECS
    sync; measure iconv -f $icv_name -t UTF-8 -o "$out/iconv.txt" "$src/large.txt"
    row iconv $lang large "$SECS" "$large_bytes" 1 "$RSS_KB"
    sync; measure uconv -f $ucv_name -t UTF-8 -o "$out/uconv.txt" "$src/large.txt"
    row uconv $lang large "$SECS" "$large_bytes" 1 "$RSS_KB"
    sync; measure cp "$src/large.txt" "$out/cp.txt"
    row cp $lang large "$SECS" "$large_bytes" 1 "$RSS_KB"
    sync; measure bash -c 'cat "$1" >"$2"' _ "$src/large.txt" "$out/cat.txt"
    row cat $lang large "$SECS" "$large_bytes" 1 "$RSS_KB"
    cat_large=$SECS

    # Small files: a pattern argument keeps the command line short.
    rm -rf "$out"; mkdir -p "$out"
    sync; measure "$exe" -u -c "$prof" -l "$work/log" -y "$src/small/*.txt"
    row varnolt $lang small "$SECS" "$small_bytes" "$small_count" "$RSS_KB"
    varnolt_small=$SECS
    converted=$(find "$out" -type f | wc -l)
    [ "$converted" -eq "$small_count" ] || echo "WRONG: $converted of $small_count files converted" >&2
    rm -rf "$out"; mkdir -p "$out"
    sync; measure bash -c 'for f in "$1"/*.txt; do iconv -f "$2" -t UTF-8 -o "$3/${f##*/}" "$f"; done' _ "$src/small" $icv_name "$out"
    row iconv $lang small "$SECS" "$small_bytes" "$small_count" "$RSS_KB"
    rm -rf "$out"; mkdir -p "$out"
    sync; measure bash -c 'for f in "$1"/*.txt; do uconv -f "$2" -t UTF-8 -o "$3/${f##*/}" "$f"; done' _ "$src/small" $ucv_name "$out"
    row uconv $lang small "$SECS" "$small_bytes" "$small_count" "$RSS_KB"
    rm -rf "$out"; mkdir -p "$out"
    sync; measure bash -c 'for f in "$1"/*.txt; do cp "$f" "$3/${f##*/}"; done' _ "$src/small" x "$out"
    row cp $lang small "$SECS" "$small_bytes" "$small_count" "$RSS_KB"
    rm -rf "$out"; mkdir -p "$out"
    sync; measure bash -c '"$1" "$2" "$3"/*.txt' _ "$floor" "$out" "$src/small"
    row floor $lang small "$SECS" "$small_bytes" "$small_count" "$RSS_KB"
    floor_small=$SECS
    rm -rf "$out"; mkdir -p "$out" "$work/tmp"
    sync; measure bash -c '"$1" -t "$2" "$3" "$4"/*.txt' _ "$floor" "$work/tmp" "$out" "$src/small"
    row floor-tmp $lang small "$SECS" "$small_bytes" "$small_count" "$RSS_KB"
    floor_tmp_small=$SECS
    rm -rf "$out"; mkdir -p "$out"
    sync; measure bash -c '"$1" -j "$2" "$3" "$4"/*.txt' _ "$floor" "$cores" "$out" "$src/small"
    row floor-j$cores $lang small "$SECS" "$small_bytes" "$small_count" "$RSS_KB"
    floor_par_small=$SECS
    awk -v v="$varnolt_large" -v c="$cat_large" -v s="$varnolt_small" -v f="$floor_small" \
        -v t="$floor_tmp_small" -v p="$floor_par_small" -v j="$cores" -v l=$lang 'BEGIN{
        printf "ratio     %-5s large: varnolt time / cat time %.2f\n", l, v / c
        printf "ratio     %-5s small: varnolt files/s / floor %.2f, / floor-tmp %.2f, / floor-j%d %.2f\n", l, f / s, t / s, j, p / s
        printf "ratio     %-5s small: floor-j%d files/s / floor %.2f (the kernel'"'"'s ceiling for the protocol)\n", l, j, f / p }'
    rm -rf "$src" "$out"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
