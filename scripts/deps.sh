#!/usr/bin/env bash
# Installs the Debian packages a build needs. As root it runs apt-get itself;
# otherwise it prints the exact command and stops.
# Usage: scripts/deps.sh [extra-package ...]
set -euo pipefail

packages=(cmake ninja-build g++ ccache python3 libgtest-dev libgmock-dev
          libicu-dev icu-devtools qt6-base-dev dbus-daemon
          desktop-file-utils appstream groff-base strace
          dpkg-dev file lintian libuchardet-dev pkg-config "$@")
missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Run as root:" >&2
    echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}"
