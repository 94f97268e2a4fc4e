#!/bin/bash
# Ends the build prefix's Wine processes and its X display.
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/tools/wine-env.sh"
"$WINESERVER" -k 2>/dev/null
"$here/tools/xvfb.sh" stop
exit 0
