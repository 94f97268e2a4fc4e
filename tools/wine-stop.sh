#!/bin/bash
# Ends the build prefixes' Wine processes and their X display.
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/tools/wine-env.sh"
"$WINESERVER" -k 2>/dev/null
# The second prefix of the tests that need no server (CMakeLists.txt).
[ -d "$WINEPREFIX-local" ] && WINEPREFIX="$WINEPREFIX-local" "$WINESERVER" -k 2>/dev/null
"$here/tools/xvfb.sh" stop
exit 0
