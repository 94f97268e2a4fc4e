#!/bin/bash
# Prints the build folder whose programs run on this machine (build/ for the
# 32-bit product wherever 32-bit code runs, natively or emulated; build/x64/
# where it cannot). With --other, the other build's folder, the one that is
# only compiled. With --say, prints instead which build the tests ran and
# which build was only compiled. WINE_ARCH=x86_64 from the caller (for
# example `make bench WINE_ARCH=x86_64`) chooses the 64-bit build.
# Usage: tools/run-build.sh [--say | --other] <checkout>
say=0
other=0
[ "${1:-}" = --say ] && { say=1; shift; }
[ "${1:-}" = --other ] && { other=1; shift; }
root=$(cd "${1:?checkout}" && pwd)
unset WINEPREFIX
. "$root/tools/wine-env.sh"
if [ $other = 1 ]; then
    if [ "$RUN_BUILD" = "$root/build" ]; then echo "$root/build/x64"; else echo "$root/build"; fi
elif [ $say = 0 ]; then
    echo "$RUN_BUILD"
elif [ "$WINE_ARCH" = i686 ]; then
    echo "tests ran the 32-bit build (build/, the product); the 64-bit build (build/x64/) was only compiled"
    cat "$root/build/arch.txt" 2>/dev/null
elif [ "$("$root/tools/host-arch.sh")" = i686 ]; then
    echo "tests ran the 64-bit build (build/x64/), as WINE_ARCH=x86_64 asked; the 32-bit product (build/) was only compiled"
else
    echo "tests ran the 64-bit build (build/x64/); the 32-bit product (build/) was only compiled"
    cat "$root/build/arch.txt" 2>/dev/null
fi
