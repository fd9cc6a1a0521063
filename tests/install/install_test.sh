#!/usr/bin/env bash
# Installs the build into a throw-away DESTDIR and runs the installed
# programs there, so that a program which still reaches into the source or
# build tree, or a file the install rules forgot, shows up here.
# Usage: install_test.sh <build dir> <source dir>
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$tmp/root" cmake --install "$build" --prefix /usr >/dev/null
root="$tmp/root/usr"

for f in bin/varnolt bin/xvarnolt \
         share/applications/varnolt.desktop share/applications/varnolt-profile.desktop \
         share/mime/packages/varnolt.xml \
         share/metainfo/com.varnolt.Varnolt.metainfo.xml \
         share/icons/hicolor/scalable/apps/varnolt.svg \
         share/icons/hicolor/48x48/apps/varnolt.png \
         share/man/man1/varnolt.1 share/man/man1/xvarnolt.1 \
         share/bash-completion/completions/varnolt share/bash-completion/completions/xvarnolt \
         share/varnolt/profiles/ru-windows-1251.vnp \
         share/varnolt/samples/ru_library_report_1251.txt \
         share/varnolt/help/index.html share/varnolt/help/style.css; do
    [ -e "$root/$f" ] || fail "not installed: $f"
done
[ -x "$root/bin/varnolt" ] && [ -x "$root/bin/xvarnolt" ] || fail "programs not executable"

# A profile opened from a file manager must reach the program as its -c
# profile, never as a file to convert.
for entry in "$root"/share/applications/*.desktop; do
    if grep -q '^MimeType=.*application/x-varnolt-profile' "$entry"; then
        grep -qE '^Exec=varnolt -c %f$' "$entry" || fail "$entry opens profiles without -c"
    fi
done
grep -q '^MimeType=.*application/x-varnolt-profile' "$root"/share/applications/*.desktop \
    || fail "no desktop entry opens profiles"

# The MIME package recognises a profile by its content, not only its name.
if command -v update-mime-database >/dev/null && command -v gio >/dev/null; then
    cp -r "$root/share/mime" "$tmp/mime"
    update-mime-database "$tmp/mime"
    cp "$root/share/varnolt/profiles/ru-windows-1251.vnp" "$tmp/profile-without-suffix"
    printf '\xff\xfeT\x00e\x00x\x00t\x00\n\x00' >"$tmp/utf16-text"
    type_of() {
        XDG_DATA_HOME="$tmp" XDG_DATA_DIRS="$tmp:/usr/share" \
            gio info -a standard::content-type "$1" 2>/dev/null | sed -n 's/.*content-type: //p'
    }
    [ "$(type_of "$tmp/profile-without-suffix")" = application/x-varnolt-profile ] \
        || fail "a profile is not recognised by its content"
    [ "$(type_of "$tmp/utf16-text")" != application/x-varnolt-profile ] \
        || fail "UTF-16 text without the signature is taken for a profile"
else
    echo "update-mime-database or gio missing: profile MIME magic not checked"
fi

# The programs' code must not name the source or build tree (debug info may:
# it is only read by debuggers, so it is dropped before looking).
# Sanitizer builds, never installed for real, keep source names for their
# reports; they are run below but not searched.
for p in varnolt xvarnolt; do
    if [ "$(nm -D "$root/bin/$p" 2>/dev/null | grep -cE '__(asan|tsan|ubsan)_')" -gt 0 ]; then
        echo "$p is a sanitizer build: not searched for source paths"
        # LeakSanitizer cannot run under strace; the unit tests cover leaks.
        export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
        continue
    fi
    objcopy --strip-debug "$root/bin/$p" "$tmp/$p.stripped"
    for tree in "$src" "$build"; do
        if grep -qaF "$tree" "$tmp/$p.stripped"; then
            fail "installed $p contains the path $tree"
        fi
    done
done

# Convert copies of the installed samples with an installed profile. The
# profile writes into samples/converted below the current folder.
work="$tmp/work"
mkdir -p "$work/in" "$tmp/config"
cp "$root/share/varnolt/samples/ru_library_report_1251.txt" "$work/in/"
export XDG_CONFIG_HOME="$tmp/config" VARNOLT_SETTINGS="$tmp/config/varnolt.ini"
unset VARNOLT_EXE
profile="$root/share/varnolt/profiles/ru-windows-1251.vnp"

check_output() {
    local out="$work/samples/converted/ru_library_report_1251.txt"
    [ -s "$out" ] || fail "$1: no converted file"
    # The profile asks for UTF-16LE with a byte order mark.
    iconv -f CP1251 -t UTF-16LE "$work/in/ru_library_report_1251.txt" >"$tmp/expected"
    tail -c +3 "$out" | cmp -s - "$tmp/expected" || fail "$1: converted text differs from the source's"
    [ "$(head -c 2 "$out" | od -An -tx1 | tr -d ' ')" = fffe ] || fail "$1: no byte order mark"
    rm -rf "$work/samples"
}

run() {
    mkdir -p "$work/samples/converted"
    # strace, where present, shows whether anything under the source or
    # build tree is opened; without it the run is still checked.
    if command -v strace >/dev/null && strace -f -qq -e trace=none true 2>/dev/null; then
        (cd "$work" && strace -f -qq -o "$tmp/trace" -e trace=%file "$@") \
            || fail "$* exited with $?"
        if grep -F -e "\"$src/" -e "\"$build/" "$tmp/trace" | grep -v "$tmp"; then
            fail "$1 touched the source or build tree"
        fi
    else
        echo "strace not usable: not checking which files are opened"
        (cd "$work" && "$@") || fail "$* exited with $?"
    fi
}

run "$root/bin/xvarnolt" -c "$profile" -y "$work/in/ru_library_report_1251.txt"
check_output xvarnolt
run "$root/bin/varnolt" -u -c "$profile" -y "$work/in/ru_library_report_1251.txt"
check_output "varnolt -u"

# Every help page is installed as it is in the source tree.
(cd "$src/help" && find . -type f | sort) >"$tmp/help.src"
(cd "$root/share/varnolt/help" && find . -type f | sort) >"$tmp/help.installed"
cmp -s "$tmp/help.src" "$tmp/help.installed" || fail "the installed help pages differ from help/"
while read -r f; do
    cmp -s "$src/help/$f" "$root/share/varnolt/help/$f" || fail "installed help page $f differs"
done <"$tmp/help.src"

# The help window finds its pages beside the program's bin folder. The GUI
# tests' program links the same help window; run from the installed bin
# folder, its check opens the installed pages (and strace shows it reads
# nothing from the source or build tree).
ui_tests="$build/tests/varnolt_ui_tests"
if [ -x "$ui_tests" ]; then
    cp "$ui_tests" "$root/bin/varnolt_help_check"
    run env QT_QPA_PLATFORM=offscreen "$root/bin/varnolt_help_check" \
        --gtest_filter='HelpInstalled.*' >"$tmp/help.out" 2>&1 \
        || { cat "$tmp/help.out" >&2; fail "the installed help does not open"; }
    grep -q '^\[  PASSED  \] 1 test' "$tmp/help.out" \
        || { cat "$tmp/help.out" >&2; fail "the installed help check did not run"; }
    rm "$root/bin/varnolt_help_check"
else
    echo "no GUI tests built: the installed help window is not opened"
fi
echo "install test passed"
