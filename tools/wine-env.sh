# The Wine environment of this checkout; sourced by the tools that run
# Windows programs. Sets and exports:
#   WINE_ARCH    i686 where this machine runs 32-bit code (natively, or
#                under the emulation tools/i386-emulation.sh turns on),
#                x86_64 where it runs 64-bit code only (tools/host-arch.sh)
#   RUN_BUILD    the build folder whose programs run here: build/ (32-bit,
#                the product) or build/x64/ (the same sources, 64-bit)
#   WINE         the loader for RUN_BUILD's programs
#   WINESERVER   the matching server (for -k and -w)
#   WINEPREFIX   RUN_BUILD's prefix unless the caller chose one
#   WINEDEBUG, WINEDLLOVERRIDES, and for 64-bit WINEARCH and WINELOADER
wine_env_root=$(cd "$(dirname "${BASH_SOURCE[0]:-$0}")/.." && pwd)
if [ -z "${WINE_ARCH:-}" ]; then
    WINE_ARCH=$("$wine_env_root/tools/host-arch.sh")
fi
if [ "$WINE_ARCH" = x86_64 ]; then
    RUN_BUILD="$wine_env_root/build/x64"
    WINE=/usr/lib/wine/wine64
    WINESERVER=/usr/lib/wine/wineserver64
    export WINEARCH=win64 WINELOADER=$WINE
else
    RUN_BUILD="$wine_env_root/build"
    WINE=wine
    WINESERVER=wineserver
fi
: "${WINEPREFIX:=$RUN_BUILD/wineprefix}"
export WINE_ARCH RUN_BUILD WINE WINESERVER WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
