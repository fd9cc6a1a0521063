#!/usr/bin/env bash
# Renders every window of the interactive program in its main states to PNG
# files in DIR (default build/screenshots), for people to look at.
# Usage: scripts/screenshots.sh [DIR]
set -euo pipefail
out=${1:-}
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "$out" ]; then
    out="$root/build/screenshots"
fi
mkdir -p "$out"
out=$(cd "$out" && pwd)
cd "$root"
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target varnolt_ui_tests
VARNOLT_SCREENSHOT_DIR="$out" QT_QPA_PLATFORM=offscreen \
    build/default/tests/varnolt_ui_tests --gtest_filter='ScreenshotsTest.*'
echo "screenshots in $out"
