#!/usr/bin/env bash
# Builds the Debian package: a release build of the programs only, with the
# distribution's compiler and linker flags (dpkg-buildflags, all hardening),
# in its own folder, packed by cpack. Prints the path of the .deb.
# Usage: scripts/build-deb.sh [build dir]   (default build/deb)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh >&2
build=${1:-build/deb}

export DEB_BUILD_MAINT_OPTIONS=${DEB_BUILD_MAINT_OPTIONS:-hardening=+all}
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

# CMake's own Release flags would put -O3 after the distribution's -O2.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
    -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
    -DVARNOLT_BUILD_TESTS=OFF -DVARNOLT_WERROR=OFF >&2
cmake --build "$build" -j "$(nproc)" >&2

out="$build/package"
rm -f "$out"/*.deb
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >&2
debs=("$out"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "cpack made no single .deb in $out" >&2; exit 1; }
realpath "${debs[0]}"
