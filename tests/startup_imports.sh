#!/bin/bash
# The wizard maps at start only the system DLLs its window needs; COM, the
# shell, WinInet, urlmon and CryptoAPI are delay-loaded (under Wine mapping
# them costs the start more than the window itself). A direct import added
# by accident shows up here, not as a slower start nobody notices.
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
# The delay-loaded ones must still be named, or the build lost them.
names=$(strings -a "$exe")
for dll in ole32 shell32 wininet urlmon crypt32; do
    grep -ix "$dll.dll" <<<"$names" >/dev/null || { echo "$dll.dll is not delay-loaded by update.exe"; exit 1; }
done
echo "update.exe maps at start: $found"
