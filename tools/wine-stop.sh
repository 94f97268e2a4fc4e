#!/bin/sh
# Ends the build prefix's Wine processes and its X display.
here=$(cd "$(dirname "$0")/.." && pwd)
: "${WINEPREFIX:=$here/build/wineprefix}"
export WINEPREFIX
wineserver -k 2>/dev/null
"$here/tools/xvfb.sh" stop
exit 0
