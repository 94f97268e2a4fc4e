#!/bin/bash
# Creates (once) the Wine prefix the tests and the demo run in.
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/tools/wine-env.sh"
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
