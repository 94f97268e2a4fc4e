#!/bin/bash
# Makes sure this machine runs the 32-bit product, and prints one line that
# says how. Exit 0 when 32-bit programs run here, 1 when they cannot.
#
# Some virtual machines turn the processor's 32-bit mode off. There the
# kernel can still hand 32-bit ELF programs (and so 32-bit Wine) to
# qemu-i386 through binfmt_misc. QEMU before 8 keeps its page flags page by
# page and needs about 50 s to start one Wine process; from 8 on it takes a
# fraction of a second, so on Debian 12 QEMU comes from bookworm-backports.
#
# I386_EMULATION=0 leaves the machine as it is.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
binfmt=/proc/sys/fs/binfmt_misc
entry=$binfmt/qemu-i386

how() {
    if [ -r "$entry" ] && grep -qx enabled "$entry"; then
        echo "32-bit programs run on this machine under qemu-i386 emulation ($(qemu-i386-static --version | head -1))"
    else
        echo "32-bit programs run on this machine natively"
    fi
}
refuse() {
    echo "32-bit programs not run on this machine: $*; the tests run the 64-bit build"
    exit 1
}

if [ "$("$here/tools/host-arch.sh")" = i686 ]; then how; exit 0; fi
[ "${I386_EMULATION:-1}" != 0 ] || refuse "the processor's 32-bit mode is off and I386_EMULATION=0"
[ "$(id -u)" = 0 ] || refuse "the processor's 32-bit mode is off, and turning on emulation needs root"

qemu_major() {
    command -v qemu-i386-static >/dev/null || { echo 0; return; }
    qemu-i386-static --version | sed -n '1s/.*version \([0-9]*\).*/\1/p'
}
if [ "$(qemu_major)" -lt 8 ] 2>/dev/null || [ -z "$(qemu_major)" ]; then
    . /etc/os-release
    suite=()
    if [ "${VERSION_CODENAME:-}" = bookworm ]; then
        list=/etc/apt/sources.list.d/bookworm-backports.list
        grep -rqs '^[^#]*bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/ ||
            echo 'deb http://deb.debian.org/debian bookworm-backports main' >"$list"
        suite=(-t bookworm-backports)
    fi
    echo "i386-emulation: installing qemu-user-static ${suite[*]}" >&2
    # An index that fails (a mirror mid-sync) need not be the backports
    # one: the install says whether QEMU could be had.
    { apt-get update -q || echo "i386-emulation: apt-get update failed; installing from the indexes there are"
      DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
        "${suite[@]}" qemu-user-static; } >&2 || refuse "qemu-user-static could not be installed"
    [ "$(qemu_major)" -ge 8 ] 2>/dev/null || refuse "QEMU $(qemu_major) is too slow to start Wine (8 or later is needed)"
fi

[ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null ||
    refuse "binfmt_misc cannot be mounted"
# An entry registered for an older QEMU holds that binary open (flag F).
[ -e "$entry" ] && echo -1 >"$entry"
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
echo ":qemu-i386:M::$magic:$mask:$(command -v qemu-i386-static):F" >"$binfmt/register" 2>/dev/null ||
    refuse "the kernel refused to register qemu-i386 with binfmt_misc"
[ "$("$here/tools/host-arch.sh")" = i686 ] || refuse "a 32-bit program still does not start under qemu-i386"
how
