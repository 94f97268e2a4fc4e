#!/bin/bash
# Starts the wizard in a Wine prefix of its own in which Mirado is installed.
# With a display the wizard opens there; without one it runs on the build's
# own Xvfb and a screenshot of the window is saved.
set -u
build=${1:?build folder}
here=$(cd "$(dirname "$0")/.." && pwd)
demo="$build/demo"
export WINEPREFIX="$demo/prefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$demo"
"$here/tools/wine-prefix.sh" || { echo "run: Wine prefix could not be made" >&2; exit 1; }
# The products' data root, as a Mirado installation leaves it.
mkdir -p "$WINEPREFIX/drive_c/ProgramData/Talvero/temp"

if [ -n "${DISPLAY:-}" ]; then
    echo "run: opening the wizard on $DISPLAY"
    WINE_REAL_DISPLAY=1 "$here/tools/wine-run.sh" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d Y /f >/dev/null 2>&1
    WINE_REAL_DISPLAY=1 "$here/tools/wine-run.sh" "$build/update.exe"
    exit $?
fi

display=$("$here/tools/xvfb.sh" start)
"$here/tools/wine-run.sh" explorer /desktop=shot,640x480 "$build/update.exe" >/dev/null 2>&1 &
sleep 8
shot="$demo/wizard.png"
/usr/bin/import -display "$display" -window root "$shot"
wineserver -k 2>/dev/null
"$here/tools/xvfb.sh" stop
echo "run: no display; the wizard ran under Xvfb, screenshot saved as $shot"
