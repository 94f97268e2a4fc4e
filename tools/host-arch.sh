#!/bin/bash
# Prints i686 when this machine can run 32-bit x86 code (and so 32-bit Wine),
# natively or through qemu-i386 (tools/i386-emulation.sh), x86_64 when it
# runs 64-bit code only (some virtual machines turn the 32-bit mode off). The
# answer decides which build of the programs the tests run: the product is
# always the 32-bit build, and only where that cannot run here are the same
# sources tested as a 64-bit build under 64-bit Wine.
set -u
probe=$(mktemp /tmp/i386-probe.XXXXXX) || { echo i686; exit 0; }
trap 'rm -f "$probe"' EXIT
# The smallest static ELF32 program: exit(0) through int 0x80.
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' >"$probe"
printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' >>"$probe"
printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' >>"$probe"
printf '\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08' >>"$probe"
printf '\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00' >>"$probe"
printf '\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >>"$probe"
chmod +x "$probe"
if "$probe" 2>/dev/null; then echo i686; else echo x86_64; fi
