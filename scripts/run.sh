#!/usr/bin/env bash
# Sets up, builds and converts the bundled samples with the console front end:
# each sample with its own profile (a profile holds one source encoding), into
# samples/converted/, all results in one log, which is shown at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default

bin=build/default/src
log=build/samples.log
mkdir -p samples/converted
rm -f "$log"
# Keep the user's own settings out of the demonstration.
export VARNOLT_SETTINGS="$PWD/build/samples-settings.reg"

status=0
while read -r profile file; do
    "$bin/xvarnolt" -c "samples/profiles/$profile" -l "$log" -y "samples/$file" || status=$?
done <<'LIST'
ja-shift-jis.vnp ja_notice_shift_jis.txt
zh-tw-big5.vnp zh_tw_night_market_big5.txt
ru-windows-1251.vnp ru_library_report_1251.txt
western-1252-html.vnp fr_cafe_menu_1252.html
utf16le.vnp glossary_utf16le.txt
LIST

echo "== converted files in samples/converted/:"
ls -l samples/converted
echo "== conversion log ($log, UTF-16LE):"
iconv -f UTF-16 -t UTF-8 "$log"
exit $status
