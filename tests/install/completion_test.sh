#!/usr/bin/env bash
# Drives the bash completion function as bash would and checks what it
# offers: every switch of each program's usage text, only profiles after -c,
# folders after --out, the program's own encoding names after --from, and
# only files after "--".
# Usage: completion_test.sh <completion script> [<varnolt> <xvarnolt>]
set -uo pipefail
script="$1"
varnolt="${2:-}" xvarnolt="${3:-}"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp" && mkdir folder && touch -- a.vnp b.VNP c.txt -x.txt
status=0

# complete_line <words...>: the candidates for the last word, sorted, one line.
complete_line() {
    bash --norc --noprofile -c '
        source "$1"; shift
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
        _varnolt
        [ ${#COMPREPLY[@]} -eq 0 ] || printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' _ "$script" "$@"
}

check() {
    local expected="$1"; shift
    local got
    got=$(complete_line "$@")
    if [ "$got" != "$expected" ]; then
        echo "FAIL: '$*' completes to '$got', expected '$expected'"
        status=1
    fi
}

check "-- --backup --bom --detect --entities --files-from --from --help --keep-folders --list-encodings --meta --null --out --prefix --save-profile --to --version " xvarnolt --
check "a.vnp b.VNP folder " xvarnolt -c ""
check "a.vnp " varnolt -u -c a
check "-x.txt a.vnp b.VNP c.txt folder " xvarnolt -c a.vnp ""
check "" varnolt -u -p ""
check "folder " xvarnolt --out ""
check "utf-16be utf-16le " xvarnolt --to utf-16
check "" xvarnolt --prefix ""
check "-x.txt " xvarnolt --from 1252 --out folder -- -
check "-x.txt a.vnp b.VNP c.txt folder " xvarnolt --files-from ""
check "--files-from " xvarnolt --fi
check "--null " varnolt -u --n

if [ -n "$varnolt" ]; then
    # Every switch that a program's --help lists is offered after "-".
    for exe in "$varnolt" "$xvarnolt"; do
        name=${exe##*/}
        offered=" $(complete_line "$name" -u -) $(complete_line "$name" -)"
        for sw in $("$exe" --help | sed -n 's/^\(-[A-Za-z]\|--[a-z-]*\)[ ].*/\1/p'); do
            if [[ $offered != *" $sw "* ]]; then
                echo "FAIL: $name - does not offer $sw"
                status=1
            fi
        done
    done
    # --from offers the names the program takes, from its own list.
    got=$(PATH="$(dirname "$varnolt"):$PATH" complete_line varnolt -u --from shift)
    if [ "$got" != "shift-jis shift_jis " ]; then
        echo "FAIL: '--from shift' completes to '$got'"
        status=1
    fi
fi
exit $status
