#!/usr/bin/env bash
# Packs the build with cpack -G DEB (no rebuild: it installs what the build
# made) and checks the .deb as apt and lintian would see it: the files and
# their modes, the control fields, Depends from dpkg-shlibdeps, stripped
# programs, and no lintian error. Exits 77 (skipped) without cpack's Debian
# tools, or when lintian is not installed (after the other checks).
# With VARNOLT_TEST_APT_INSTALL=1, as root, the package is also installed
# with apt-get, tried, and removed again.
# Usage: deb_test.sh <build dir> <source dir> <version> <gui|nogui>
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
version="$3" gui="$4"

for tool in cpack dpkg-deb dpkg-shlibdeps file readelf; do
    if ! command -v $tool >/dev/null; then
        echo "$tool not found (Debian dpkg-dev, file, binutils): package not checked"
        exit 77
    fi
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# A packager's umask must not reach the package's modes.
(umask 077 && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1) \
    || { cat "$tmp/cpack.log"; fail "cpack failed"; }
deb="$tmp/out/varnolt_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { ls "$tmp/out"; fail "no $(basename "$deb")"; }

# Files: what the install rules put under /usr, plus Debian's own.
dpkg-deb --contents "$deb" >"$tmp/contents"
paths=$(awk '{print $6}' "$tmp/contents" | sed 's|^\./||; s|/$||')
for f in usr/bin/varnolt usr/bin/xvarnolt \
         usr/share/applications/varnolt.desktop usr/share/applications/varnolt-profile.desktop \
         usr/share/mime/packages/varnolt.xml \
         usr/share/metainfo/com.varnolt.Varnolt.metainfo.xml \
         usr/share/icons/hicolor/scalable/apps/varnolt.svg \
         usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/varnolt.png \
         usr/share/man/man1/varnolt.1.gz usr/share/man/man1/xvarnolt.1.gz \
         usr/share/bash-completion/completions/varnolt \
         usr/share/bash-completion/completions/xvarnolt \
         usr/share/varnolt/profiles/ru-windows-1251.vnp \
         usr/share/varnolt/samples/ru_library_report_1251.txt \
         usr/share/doc/varnolt/copyright usr/share/doc/varnolt/changelog.gz; do
    grep -qxF "$f" <<<"$paths" || fail "not in the package: $f"
done
# The programs only: no test program, nothing outside /usr.
[ "$(grep '^usr/bin/.' <<<"$paths" | sort | tr '\n' ' ')" = "usr/bin/varnolt usr/bin/xvarnolt " ] \
    || fail "usr/bin holds more than the two programs: $(grep '^usr/bin/.' <<<"$paths" | tr '\n' ' ')"
if grep -vqE '^(\.|usr|usr/.*)$' <<<"$paths"; then
    fail "files outside /usr: $(grep -vE '^(\.|usr|usr/.*)$' <<<"$paths" | tr '\n' ' ')"
fi
# Everything root's, folders and programs 0755, the rest 0644.
awk '{
    path = $6; sub(/^\.\//, "", path)
    if ($2 != "root/root") { print "owner " $2 ": " path; next }
    want = "-rw-r--r--"
    if ($1 ~ /^d/) want = "drwxr-xr-x"
    else if (path ~ /^usr\/bin\//) want = "-rwxr-xr-x"
    if ($1 != want) print $1 " (want " want "): " path
}' "$tmp/contents" >"$tmp/bad-modes"
if [ -s "$tmp/bad-modes" ]; then
    cat "$tmp/bad-modes"
    fail "wrong owner or mode in the package"
fi

dpkg-deb -x "$deb" "$tmp/root"
for p in varnolt xvarnolt; do
    sections=$(readelf -S --wide "$tmp/root/usr/bin/$p")
    if grep -qE ' \.(symtab|debug_[a-z]+|comment) ' <<<"$sections"; then
        fail "usr/bin/$p is not stripped"
    fi
done
gzip -t "$tmp/root/usr/share/man/man1/varnolt.1.gz" "$tmp/root/usr/share/doc/varnolt/changelog.gz"
zcat "$tmp/root/usr/share/doc/varnolt/changelog.gz" | head -1 | grep -q "^varnolt ($version) " \
    || fail "the changelog's first entry is not version $version"

# Control fields.
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = varnolt ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[[ "$(field Section)" =~ ^(text|utils)$ ]] || fail "Section: $(field Section)"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
homepage=$(sed -n 's|.*<url type="homepage">\(.*\)</url>.*|\1|p' \
    "$src/packaging/com.varnolt.Varnolt.metainfo.xml")
[ -n "$homepage" ] && [ "$(field Homepage)" = "$homepage" ] \
    || fail "Homepage '$(field Homepage)' is not the metainfo's '$homepage'"
[ "$(field Description | wc -l)" -ge 3 ] || fail "no long description"

# Depends comes from dpkg-shlibdeps, with the versions the build needs.
depends=$(field Depends)
echo "Depends: $depends"
libs="libc6 libstdc++6"
[ "$gui" = gui ] && libs="$libs libqt6core6 libqt6gui6 libqt6widgets6"
for lib in $libs; do
    [[ ", $depends" == *", $lib (>= "* ]] || fail "Depends lacks a versioned $lib"
done

skipped=0
if command -v lintian >/dev/null; then
    # lintian warns when run as root, which CI does; that is not the package's.
    if ! lintian --fail-on error "$deb" >"$tmp/lintian" 2>&1; then
        cat "$tmp/lintian"
        fail "lintian reports errors"
    fi
    grep -v 'running with root privileges' "$tmp/lintian" || true
else
    echo "lintian not found (Debian lintian): package not linted"
    skipped=1
fi

if [ "${VARNOLT_TEST_APT_INSTALL:-0}" = 1 ]; then
    if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null || ! command -v man >/dev/null; then
        fail "VARNOLT_TEST_APT_INSTALL=1 needs root, apt-get and man (Debian man-db)"
    fi
    # Someone's installed Varnolt is theirs: never replaced or removed here.
    if dpkg-query -W -f='${Status}' varnolt 2>/dev/null | grep -q 'ok installed'; then
        fail "a varnolt package is installed already; remove it to run this check"
    fi
    trap 'DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq varnolt >/dev/null 2>&1; rm -rf "$tmp"' EXIT
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$tmp/apt.log" 2>&1 \
        || { cat "$tmp/apt.log"; fail "apt-get install failed"; }
    [ "$(command -v varnolt)" = /usr/bin/varnolt ] || fail "varnolt is not /usr/bin/varnolt"
    [ "$(varnolt --version)" = "varnolt $version" ] || fail "varnolt --version: $(varnolt --version)"
    for page in varnolt xvarnolt; do
        [ "$(man -w $page)" = "/usr/share/man/man1/$page.1.gz" ] || fail "man -w $page: $(man -w $page)"
    done
    # The installed console front end converts an installed sample.
    mkdir -p "$tmp/work/samples/converted" "$tmp/config"
    cp /usr/share/varnolt/samples/ru_library_report_1251.txt "$tmp/work/"
    (cd "$tmp/work" && XDG_CONFIG_HOME="$tmp/config" VARNOLT_SETTINGS="$tmp/config/settings.reg" \
        xvarnolt -c /usr/share/varnolt/profiles/ru-windows-1251.vnp -y ru_library_report_1251.txt) \
        || fail "the installed xvarnolt failed"
    [ -s "$tmp/work/samples/converted/ru_library_report_1251.txt" ] || fail "no converted file"
    echo "installed with apt-get, ran and removed again"
fi

[ $skipped -ne 0 ] && exit 77
echo "package test passed: $(basename "$deb")"
