#!/usr/bin/env bash
# Drives the bash completion function as bash would and checks what it
# offers: the switches of each program, and only profiles after -c.
# Usage: completion_test.sh <completion script>
set -uo pipefail
script="$1"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp" && mkdir folder && touch a.vnp b.VNP c.txt
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

check "--help --version -c -l -o -p -s -u -y " varnolt -
check "-c -l -o -p -s -u -y " varnolt -u -
check "-c -l -o -s -y " xvarnolt -c x.vnp -
check "--help --version " xvarnolt --
check "a.vnp b.VNP folder " xvarnolt -c ""
check "a.vnp " varnolt -u -c a
check "a.vnp b.VNP c.txt folder " xvarnolt -c a.vnp ""
check "" varnolt -u -p ""
exit $status
