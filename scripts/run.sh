#!/usr/bin/env bash
# Sets up, builds and runs varnolt on its command line.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default

out=build/default
echo "== varnolt --help"
"$out/src/varnolt" --help
echo "== varnolt -u (no profile): exit code expected 132"
set +e
VARNOLT_SETTINGS="$out/run-settings.reg" "$out/src/varnolt" -u example.txt
echo "exit code: $?"
