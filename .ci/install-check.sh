#!/usr/bin/env bash
# CI only: installs the given .deb as a user would (apt-get brings its dependencies),
# checks what a desktop finds of it and that the installed renderer paints through its
# installed reader program, starts the installed viewer on an X server of its
# own, finds its window by its caption and checks that the desktop entry's
# StartupWMClass matches the window, checks that a second launch hands over to it, then
# purges the package. It changes the system, so scripts/test.sh never runs it.
# Usage: CI=true .ci/install-check.sh path/to/voq006_VERSION_ARCH.deb
set -euo pipefail

if [ "${CI:-}" != true ]; then
    echo "install-check.sh: runs only in CI (CI=true): it installs and purges a package" >&2
    exit 1
fi
if [ $# -ne 1 ] || [ ! -f "$1" ]; then
    echo "usage: CI=true $0 path/to/voq006_VERSION_ARCH.deb" >&2
    exit 2
fi
deb=$(realpath "$1")
id=org.voq006.voq006
caption='ソラニカの波動'
as=()
[ "$(id -u)" -eq 0 ] || as=(sudo)
export DEBIAN_FRONTEND=noninteractive

work=$(mktemp -d)
xvfb=
viewer=
cleanup() {
    [ -z "$viewer" ] || kill "$viewer" 2>/dev/null || true
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    "${as[@]}" apt-get purge -y -qq voq006 >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "install-check.sh: $*" >&2
    exit 1
}

echo "== install check: apt-get install $(basename "$deb") =="
"${as[@]}" apt-get install -y -qq --no-install-recommends "$deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "apt-get install failed"; }

# What the desktop and man find.
[ "$(command -v voq006)" = /usr/bin/voq006 ] || fail "voq006 is not on PATH as /usr/bin/voq006"
man -w voq006 >/dev/null || fail "man finds no page voq006"
man -w voq006-render >/dev/null || fail "man finds no page voq006-render"
desktop-file-validate "/usr/share/applications/$id.desktop" ||
    fail "the installed desktop entry is invalid"
appstreamcli validate --no-net "/usr/share/metainfo/$id.metainfo.xml" >/dev/null ||
    fail "the installed metainfo is invalid"
for size in 16 32 48 64 128 256; do
    [ -f "/usr/share/icons/hicolor/${size}x$size/apps/$id.png" ] || fail "no ${size}x$size icon"
done
[ -f "/usr/share/icons/hicolor/scalable/apps/$id.svg" ] || fail "no scalable icon"
voq006-render --version | grep -qx "voq006-render [0-9.]*" || fail "voq006-render --version"
[ -x /usr/libexec/voq006/voq006-reader ] || fail "the reader program is not installed"
# The installed renderer finds its reader (it would say so on standard error if not).
sample="$(dirname "$0")/../samples/stereo-sweep.wav"
render_errors=$(voq006-render "$sample" "$work/sweep.png" 2>&1) ||
    fail "voq006-render could not paint $sample: $render_errors"
[ -z "$render_errors" ] || fail "voq006-render said: $render_errors"

# The installed viewer on a display of its own, with a lock folder of its own.
exec 3>"$work/display"
Xvfb -displayfd 3 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb did not start"
display=$(head -n 1 "$work/display")
export DISPLAY=":$display"
mkdir -m 0700 "$work/runtime"
XDG_RUNTIME_DIR="$work/runtime" /usr/bin/voq006 >"$work/viewer.log" 2>&1 &
viewer=$!
window=$(timeout 30 xdotool search --sync --name "^$caption\$" | head -n 1) ||
    { cat "$work/viewer.log"; fail "no window captioned $caption appeared"; }
echo "install check: the installed viewer's window $window is captioned $caption"
# The package's dependencies bring Qt's Japanese translation, so nothing is missing.
if grep -q qtbase_ja "$work/viewer.log"; then
    cat "$work/viewer.log"
    fail "the installed viewer found no Qt translation"
fi

wanted=$(sed -n 's/^StartupWMClass=//p' "/usr/share/applications/$id.desktop")
class=$(xprop -id "$window" WM_CLASS | sed -n 's/.*", "\(.*\)"$/\1/p')
[ "$class" = "$wanted" ] ||
    fail "the window's WM_CLASS class is \"$class\", the desktop entry says \"$wanted\""

# A second launch, as from the menu again, hands over to the running copy and ends.
status=0
XDG_RUNTIME_DIR="$work/runtime" timeout 20 /usr/bin/voq006 >"$work/second.log" 2>&1 || status=$?
[ "$status" -eq 0 ] || { cat "$work/second.log"; fail "a second launch ended with status $status"; }
windows=$(xdotool search --name "^$caption\$" | wc -l)
[ "$windows" -eq 1 ] || fail "after a second launch $windows windows are captioned $caption"
kill -0 "$viewer" 2>/dev/null || fail "the first copy did not survive a second launch"
echo "install check: a second launch handed over to the running copy"

kill "$viewer"
wait "$viewer" 2>/dev/null || true
viewer=

echo "== install check: apt-get purge voq006 =="
"${as[@]}" apt-get purge -y -qq voq006 >/dev/null
[ ! -e /usr/bin/voq006 ] || fail "/usr/bin/voq006 is still there after the purge"
[ ! -e "/usr/share/applications/$id.desktop" ] || fail "the desktop entry outlived the purge"
echo "install check: passed"
