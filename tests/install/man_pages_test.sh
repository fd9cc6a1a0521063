#!/usr/bin/env bash
# The man pages must render without warnings and document every switch the
# programs' own usage texts list, so a new switch cannot go unmentioned.
# Usage: man_pages_test.sh <varnolt> <xvarnolt> <man page folder>
set -uo pipefail
varnolt="$1" xvarnolt="$2" man="$3"
status=0

if ! command -v groff >/dev/null; then
    echo "groff not found (Debian groff-base): man pages not checked"
    exit 77
fi

for prog in varnolt xvarnolt; do
    page="$man/$prog.1"
    warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
    if [ -n "$warnings" ]; then
        echo "FAIL: $page renders with warnings:"; echo "$warnings"
        status=1
    fi
    exe=$varnolt; [ $prog = xvarnolt ] && exe=$xvarnolt
    # Every entry of the usage text: "-c cfg-profile - ...", "--from ENC - ...", "-- - ...".
    switches=$("$exe" --help | sed -n 's/^\(-[A-Za-z]\|--[a-z-]*\)[ ].*/\1/p')
    if [ -z "$switches" ]; then
        echo "FAIL: no switches found in $prog --help"; status=1
    fi
    for sw in $switches; do
        # Each switch gets its own entry: a bold (or bold-italic) line of it.
        # In troff every "-" of the switch is written "\-".
        escaped=${sw//-/\\\\-}
        if ! grep -qE "^\.(B|BI|BR) ${escaped}( |$)" "$page"; then
            echo "FAIL: $page does not describe $sw"
            status=1
        fi
    done
done
exit $status
