#!/bin/sh
# Runs a Windows program under Wine in the build's throwaway prefix.
# WINEPREFIX may be set by the caller; the default lives in build/.
here=$(cd "$(dirname "$0")/.." && pwd)
: "${WINEPREFIX:=$here/build/wineprefix}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$here/tools/wine-prefix.sh" >&2 || exit 1
fi
exec wine "$@"
