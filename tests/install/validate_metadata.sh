#!/usr/bin/env bash
# The desktop entry and the AppStream metainfo must pass their validators,
# or software centres and menus silently drop them. Exits 77 (skipped) when
# a validator is not installed.
# Usage: validate_metadata.sh <source dir>
set -uo pipefail
pkg="$1/packaging"
skipped=0
status=0

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$pkg/varnolt.desktop" "$pkg/varnolt-profile.desktop" || status=1
else
    echo "desktop-file-validate not found (Debian desktop-file-utils): desktop entry not checked"
    skipped=1
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$pkg/com.varnolt.Varnolt.metainfo.xml" || status=1
else
    echo "appstreamcli not found (Debian appstream): metainfo not checked"
    skipped=1
fi
# The shared-MIME-info package is plain XML; a malformed one breaks the
# whole MIME database update, so at least parse it.
python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' "$pkg/varnolt-mime.xml" || status=1

[ $status -ne 0 ] && exit 1
[ $skipped -ne 0 ] && exit 77
exit 0
