#!/bin/bash
# Ends the build prefixes' Wine processes and their X display.
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/tools/wine-env.sh"
"$WINESERVER" -k 2>/dev/null
# The second prefix of the tests that need no server (CMakeLists.txt).
if [ -d "$WINEPREFIX-local" ]; then
    WINEPREFIX="$WINEPREFIX-local" "$WINESERVER" -k 2>/dev/null
    WINEPREFIX="$WINEPREFIX-local" "$here/tools/xvfb.sh" stop
fi
"$here/tools/xvfb.sh" stop
exit 0
