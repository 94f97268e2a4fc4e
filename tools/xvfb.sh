#!/bin/bash
# The build's own X display for Wine: `start` prints its name (starting it
# when it is not running), `stop` ends it.
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/tools/wine-env.sh"
# One display per prefix (build/xvfb for build/wineprefix, build/xvfb-local
# for build/wineprefix-local): the windows of two prefixes on one display
# take the X input focus from each other, and a test's window loses it.
prefix_name=$(basename "$WINEPREFIX")
state="$(dirname "$WINEPREFIX")/xvfb${prefix_name#*prefix}"
mkdir -p "$state"
case "$1" in
start)
    if [ -f "$state/pid" ] && kill -0 "$(cat "$state/pid")" 2>/dev/null; then
        cat "$state/display"
        exit 0
    fi
    exec 9>"$state/lock"
    flock 9
    if [ -f "$state/pid" ] && kill -0 "$(cat "$state/pid")" 2>/dev/null; then
        cat "$state/display"
        exit 0
    fi
    n=90
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 9>&- &
    echo $! >"$state/pid"
    echo ":$n" >"$state/display"
    for _ in $(seq 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        sleep 0.1
    done
    echo ":$n"
    ;;
stop)
    [ -f "$state/pid" ] && kill "$(cat "$state/pid")" 2>/dev/null
    rm -f "$state/pid" "$state/display"
    ;;
esac
