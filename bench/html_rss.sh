#!/usr/bin/env bash
# Peak resident memory of the console conversion with the HTML stage on (meta
# tag and entity conversion) on large HTML files of the shapes that used to be
# held whole: an unclosed comment in the head, and one huge tag followed by
# one huge text run. Prints the peak RSS of each and whether it stays under
# the limit. Not part of ctest.
# Usage: bench/html_rss.sh [MIB] [LIMIT_MIB]; VARNOLT_EXE=path measures
# another build of varnolt instead of the bench one.
set -euo pipefail
cd "$(dirname "$0")/.."
mib=${1:-200}
limit_mib=${2:-64}
. bench/common.sh varnolt-html-rss
exe=${VARNOLT_EXE:-$exe}

# Profile: 1252 source, folder output, UTF-8, meta tag and entities on.
printf 'TaVo\n2\n1252\n2\nbak_\nu_\n%s\n2\n1\n1\n0\n' "$work/out" |
    python3 -c 'import sys; sys.stdout.buffer.write("\ufeff".encode("utf-16-le") + sys.stdin.read().encode("utf-16-le"))' \
        >"$work/html.vnp"

# Writes a file of about $mib MiB: a head, then $3 repeated, then a tail.
make_file() { # file head-text body-unit tail-text
    python3 - "$1" "$2" "$3" "$4" "$mib" <<'PY'
import sys
path, head, unit, tail, mib = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5])
size = mib << 20
block = (unit * (65536 // len(unit) + 1))[:65536 - 65536 % len(unit)].encode("cp1252")
with open(path, "wb") as f:
    f.write(head.encode("cp1252"))
    written = len(head)
    while written < size:
        f.write(block)
        written += len(block)
    f.write(tail.encode("cp1252"))
PY
}

make_file "$work/comment.html" '<html><head><title>t</title><!-- ' 'xxxxxxx ' ''
# A tag that is half the file, then a text run with entities that is the other half.
half=$((mib / 2)); mib_saved=$mib; mib=$half
make_file "$work/tag.part" '<html><head><title>t</title></head><body><p title="' 'yyyyyyy ' '">'
make_file "$work/text.part" '' 'caf&eacute; &amp; th&eacute; &#8212; ' '</p></body></html>'
mib=$mib_saved
cat "$work/tag.part" "$work/text.part" >"$work/tagtext.html"
rm -f "$work/tag.part" "$work/text.part"

status=0
for name in comment tagtext; do
    rm -rf "$work/out"; mkdir -p "$work/out"
    /usr/bin/time -v -o "$work/time.txt" "$exe" -u -c "$work/html.vnp" -l "$work/log" -y \
        "$work/$name.html" >/dev/null 2>"$work/err.txt" || {
        echo "FAILED: $name" >&2; tail -5 "$work/err.txt" >&2; status=1; }
    rss_kb=$(peak_rss_kb "$work/time.txt")
    verdict=$([ "$rss_kb" -lt $((limit_mib * 1024)) ] && echo ok || echo OVER)
    printf '%-8s %6d MiB in  %8.1f MiB peak RSS  (limit %d MiB) %s\n' "$name" \
        $(($(stat -c %s "$work/$name.html") >> 20)) "$(awk -v k="$rss_kb" 'BEGIN{print k/1024}')" \
        "$limit_mib" "$verdict"
    [ "$verdict" = ok ] || status=1
done
exit $status
