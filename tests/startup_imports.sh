#!/bin/bash
# The wizard maps at start only the system DLLs its window needs; COM, the
# shell, WinInet, urlmon and CryptoAPI are loaded on first use (under Wine
# mapping them costs the start more than the window itself). A direct import
# added by accident shows up here, not as a slower start nobody notices.
# Usage: startup_imports.sh <objdump> <update.exe>
set -euo pipefail
objdump=$1 exe=$2
found=$("$objdump" -p "$exe" | awk '/DLL Name:/ {print toupper($3)}' | sort | tr '\n' ' ')
expected="ADVAPI32.DLL COMCTL32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL USER32.DLL "
if [ "$found" != "$expected" ]; then
    echo "update.exe maps at start: $found"
    echo "expected only:            $expected"
    exit 1
fi
# The ones loaded on first use must still be named (in UTF-16, the way the
# loader passes them to LoadLibraryW), or the build lost them.
names=$(strings -a -el "$exe")
for dll in ole32 shell32 wininet urlmon crypt32 rstrtmgr; do
    grep -i "$dll\.dll$" <<<"$names" >/dev/null || { echo "update.exe never loads $dll.dll"; exit 1; }
done
echo "$("$objdump" -f "$exe" | awk '/file format/ {print $NF}'): update.exe maps at start: $found"
