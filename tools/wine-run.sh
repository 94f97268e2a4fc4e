#!/bin/bash
# Runs a Windows program under Wine in the build's throwaway prefix.
# WINEPREFIX may be set by the caller; the default lives in the build folder
# (tools/wine-env.sh).
#
# Every Wine process of the prefix shares one desktop process, which takes
# its X display from whichever process starts it first. One started without
# a display leaves every later window without a driver, so programs here
# always get the build's own Xvfb display, unless WINE_REAL_DISPLAY=1 asks for
# the caller's $DISPLAY (the interactive demo).
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/tools/wine-env.sh"
if [ "${WINE_REAL_DISPLAY:-0}" != 1 ] || [ -z "${DISPLAY:-}" ]; then
    DISPLAY=$("$here/tools/xvfb.sh" start) || exit 1
    export DISPLAY
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$here/tools/wine-prefix.sh" >&2 || exit 1
fi
exec "$WINE" "$@"
