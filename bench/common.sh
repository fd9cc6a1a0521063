# Shared set-up of the whole-run benchmark scripts, sourced by them from the
# project folder: the packages they need, the bench build of varnolt ($exe), a
# work folder removed on exit ($work, named after $1), a private settings
# file, and helpers.
# The bench preset builds against Google Benchmark; GNU time reports peak
# memory; uconv (icu-devtools, in the base list) is a peer.
scripts/deps.sh libbenchmark-dev time
cmake --preset bench >/dev/null
cmake --build --preset bench --target varnolt >/dev/null
exe=$PWD/build/bench/src/varnolt
work=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
trap 'rm -rf "$work"' EXIT
export VARNOLT_SETTINGS="$work/settings.reg"

# A profile by hand in the profile format: UTF-16LE, one value per line:
# signature, version 2, code page, output option 2 (folder), backup prefix,
# converted prefix, output folder, Unicode format 2 (UTF-8), meta, entities, BOM.
write_profile() { # file codepage outdir
    printf 'TaVo\n2\n%s\n2\nbak_\nu_\n%s\n2\n0\n0\n0\n' "$2" "$3" |
        python3 -c 'import sys; sys.stdout.buffer.write("\ufeff".encode("utf-16-le") + sys.stdin.read().encode("utf-16-le"))' >"$1"
}

# Peak resident set size in KiB from a `/usr/bin/time -v` report.
peak_rss_kb() { # report
    awk -F': ' '/Maximum resident set size/{print $2}' "$1"
}
