#!/usr/bin/env bash
# Compares what two builds of the viewer show, pixel for pixel, and the properties their main
# windows carry: both run one after the other in the same Xvfb under the same openbox, their
# window moved to the same place, each state reached by keys alone.
#
#   compare-screens.sh BASELINE_VIEWER CANDIDATE_VIEWER [FOLDER]
#
# Both programs should have the same file name (voq006): the window class carries it.
#
# States: idle; the menu bar with the keyboard on it (a lone Alt); the File, View and Help
# menus, each open with its first item highlighted; the version box; a file drawn; the
# status bar hidden; the status bar shown again; a second file drawn. Each is a screenshot
# of the whole screen, taken once two screenshots in a row are alike (the paints are done),
# never after a fixed pause. Beside the pictures: the X properties of the main window and of
# the version box, and what a screen reader reads of the whole application through the
# AT-SPI bus (every object's role, name, description, key, states and place) when idle and
# with a file drawn. Prints one line per state with the number of differing pixels,
# then whatever else differs, and exits 0 only when nothing does. The pictures stay in
# FOLDER (default: a new temporary folder).
set -euo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 BASELINE_VIEWER CANDIDATE_VIEWER [FOLDER]" >&2
    exit 2
fi
baseline=$(realpath "$1")
candidate=$(realpath "$2")
folder=${3:-$(mktemp -d)}
mkdir -p "$folder"
folder=$(realpath "$folder")
here=$(dirname "$(realpath "$0")")

states=(idle menu-bar file-menu view-menu help-menu version-box first-file
        status-bar-hidden status-bar-shown second-file)
# What the X tools compare: the caption as the window manager reads it (WM_NAME's type says
# whether it is COMPOUND_TEXT), the icon name, size hints, allowed actions and class.
properties=(WM_NAME _NET_WM_NAME WM_ICON_NAME _NET_WM_ICON_NAME WM_CLASS WM_NORMAL_HINTS
            WM_HINTS _NET_WM_ALLOWED_ACTIONS _NET_WM_WINDOW_TYPE _MOTIF_WM_HINTS WM_PROTOCOLS
            _NET_WM_STATE)

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT

# One X server and window manager for both builds, with a home of their own so that no
# user's openbox or Qt settings take part.
export HOME=$folder/home XDG_CONFIG_HOME=$folder/home/.config LANG=C.UTF-8 LC_ALL=C.UTF-8
export QT_QPA_PLATFORM=xcb
mkdir -p "$HOME"
display_pipe=$folder/displayfd
mkfifo "$display_pipe"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$display_pipe" \
    >"$folder/xvfb.log" 2>&1 &
pids+=($!)
read -r number <"$display_pipe"
export DISPLAY=:$number
openbox --sm-disable >"$folder/openbox.log" 2>&1 &
pids+=($!)
# A session bus, on which the accessibility bus starts as the desktop starts it, and Qt's
# accessibility bridge on in both builds.
exec 4> >(cat >"$folder/bus-address")
dbus-daemon --session --nofork --print-address=4 >"$folder/dbus.log" 2>&1 &
pids+=($!)
exec 4>&-
until [ -s "$folder/bus-address" ]; do sleep 0.1; done
DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$folder/bus-address")
export DBUS_SESSION_BUS_ADDRESS
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do sleep 0.1; done
# The pointer rests in a corner, away from every window, so that nothing is hovered.
xdotool mousemove 1279 799

# Two files that the viewer draws differently: the repository's stereo and mono samples.
first_file=$(realpath "$here/../samples/stereo-sweep.wav")
second_file=$(realpath "$here/../samples/mono-tone.wav")

window_named() { # PID NAME: the first mapped window of the process with that caption
    local window
    for window in $(xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
        if [ "$(xprop -id "$window" -notype _NET_WM_NAME 2>/dev/null)" = "_NET_WM_NAME = \"$2\"" ]; then
            echo "$window"
            return 0
        fi
    done
    return 1
}

window_gone() { # PID NAME
    ! window_named "$1" "$2" >/dev/null
}

wait_for() { # COMMAND...: runs it every 0.1 s until it succeeds, at most 20 s
    local tries=200
    until "$@"; do
        tries=$((tries - 1))
        if [ $tries -eq 0 ]; then
            echo "compare-screens: gave up waiting for: $*" >&2
            return 1
        fi
        sleep 0.1
    done
}

# A screenshot of the whole screen once the screen has settled: two pictures in a row alike.
settled_screenshot() { # PATH
    local previous=$1.previous.png tries=100
    import -window root "$previous"
    while :; do
        import -window root "$1"
        if cmp -s <(convert "$previous" rgb:-) <(convert "$1" rgb:-); then
            rm -f "$previous"
            return 0
        fi
        mv "$1" "$previous"
        tries=$((tries - 1))
        if [ $tries -eq 0 ]; then
            echo "compare-screens: the screen did not settle for $1" >&2
            return 1
        fi
    done
}

keys() { xdotool key --delay 100 "$@"; }

# The properties of a window that the window manager and other clients read. The group
# leader is a window of the process's own, whose id differs from run to run.
window_properties() { # WINDOW
    for property in "${properties[@]}"; do
        xprop -id "$1" "$property"
    done | grep -v 'group leader'
    xprop -id "$1" -notype _NET_WM_ICON | md5sum
}

# The accessible tree of the process, once it holds the main window: a screen reader's view.
# The application's description is the program's path, which differs between the builds.
accessible_tree() { # PID VIEWER PATH
    wait_for bash -c "/usr/bin/python3 '$here/../tests/e2e/atspi_client.py' dump $1 2>/dev/null | grep -q 'ソラニカの波動'"
    /usr/bin/python3 "$here/../tests/e2e/atspi_client.py" dump "$1" | sed "s#\t$2\t#\tVIEWER\t#" >"$3"
}

open_file() { # PID PATH
    keys ctrl+o
    wait_for window_named "$1" "開く" >/dev/null
    xdotool type --delay 10 "$2"
    keys Return
    wait_for window_gone "$1" "開く"
}

run_build() { # NAME VIEWER
    local viewer=$2 out=$folder/$1 runtime=$folder/$1/runtime
    mkdir -p "$runtime"
    chmod 700 "$runtime"
    XDG_RUNTIME_DIR=$runtime "$viewer" >"$out/viewer.log" 2>&1 &
    local pid=$!
    pids+=("$pid")
    local frame
    frame=$(wait_for window_named "$pid" "ソラニカの波動")
    xdotool windowmove --sync "$frame" 100 60
    xdotool windowactivate --sync "$frame"
    window_properties "$frame" >"$out/properties.txt"

    settled_screenshot "$out/idle.png"
    accessible_tree "$pid" "$viewer" "$out/accessible-idle.txt"
    keys alt
    settled_screenshot "$out/menu-bar.png"
    keys Escape
    local menu
    for menu in file:f view:v help:h; do
        keys "alt+${menu#*:}"
        settled_screenshot "$out/${menu%%:*}-menu.png"
        keys Escape Escape
    done
    keys alt+h a
    local box
    box=$(wait_for window_named "$pid" "ﾊﾞｰｼﾞｮﾝ情報")
    settled_screenshot "$out/version-box.png"
    window_properties "$box" >"$out/version-box-properties.txt"
    keys Escape
    wait_for window_gone "$pid" "ﾊﾞｰｼﾞｮﾝ情報"

    open_file "$pid" "$first_file"
    settled_screenshot "$out/first-file.png"
    accessible_tree "$pid" "$viewer" "$out/accessible-first-file.txt"
    keys alt+v s
    settled_screenshot "$out/status-bar-hidden.png"
    keys alt+v s
    settled_screenshot "$out/status-bar-shown.png"
    open_file "$pid" "$second_file"
    settled_screenshot "$out/second-file.png"

    keys alt+f x
    wait "$pid" || true
}

run_build baseline "$baseline"
run_build candidate "$candidate"

differing_states=0
for state in "${states[@]}"; do
    # ImageMagick's compare prints the count of differing pixels on stderr.
    count=$(compare -metric AE "$folder/baseline/$state.png" "$folder/candidate/$state.png" \
        "$folder/$state-difference.png" 2>&1 >/dev/null || true)
    echo "$state: $count differing pixels"
    if [ "$count" != "0" ]; then differing_states=$((differing_states + 1)); fi
done
for listing in properties version-box-properties accessible-idle accessible-first-file; do
    if ! diff "$folder/baseline/$listing.txt" "$folder/candidate/$listing.txt"; then
        echo "$listing: differs (above)"
        differing_states=$((differing_states + 1))
    else
        echo "$listing: alike ($(wc -l <"$folder/baseline/$listing.txt") lines)"
    fi
done
echo "pictures in $folder"
[ "$differing_states" -eq 0 ]
