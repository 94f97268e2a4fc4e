#!/bin/bash
# Creates (once) the Wine prefix the tests and the demo run in.
#   tools/wine-prefix.sh [--copy <folder>]
# With --copy, also makes <folder> a copy of it (once), for tests that take
# turns in a prefix of their own: copying is much faster than a second
# wineboot, above all under emulation.
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/tools/wine-env.sh"
if [ "${1:-}" = --copy ]; then
    copy=${2:?folder}
    "$0" || exit 1
    [ -f "$copy/system.reg" ] && exit 0
    # The registry files are whole only once the prefix's server has ended.
    "$WINESERVER" -k 2>/dev/null
    "$WINESERVER" -w 2>/dev/null
    rm -rf "$copy" && cp -a "$WINEPREFIX" "$copy"
    test -f "$copy/system.reg"
    exit
fi
[ -f "$WINEPREFIX/system.reg" ] && exit 0
mkdir -p "$WINEPREFIX"
DISPLAY=$("$here/tools/xvfb.sh" start)
export DISPLAY
"$WINE" wineboot -i >/dev/null 2>&1
# A fresh prefix has no association for text files; the download log is
# opened through it, as on a real desktop.
"$WINE" reg add 'HKCR\.txt' /ve /d txtfile /f >/dev/null 2>&1
# Tests must not leave an editor running (it would hold ctest's output pipe),
# so the test prefix opens text files with a command that ends at once; the
# demo asks for notepad through TXT_OPEN_COMMAND.
"$WINE" reg add 'HKCR\txtfile\shell\open\command' /ve /d "${TXT_OPEN_COMMAND:-cmd.exe /c exit}" /f >/dev/null 2>&1
# No window manager runs on Xvfb; a managed window would wait two seconds for
# one on every close. The interactive demo turns this back on.
"$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
"$WINESERVER" -w
test -f "$WINEPREFIX/system.reg"
