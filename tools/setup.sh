#!/bin/bash
# Installs what the build, the tests and the demo need on a Debian machine.
# Cheap when everything is already there.
set -e
missing=()
for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    # A mirror caught mid-sync fails one index now and then ("File has
    # unexpected size"); it is tried again. If the i386 index of the
    # security suite stays stale, the two architectures' versions of a
    # library no longer match and the install cannot be solved; it is then
    # solved from the release suites alone, which both architectures share.
    updated=0
    for try in 1 2 3; do
        if apt-get update -q; then updated=1; break; fi
        [ "$try" = 3 ] || sleep $((try * 10))
    done
    apt_install() { DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@" "${missing[@]}"; }
    if ! apt_install && [ "$updated" = 0 ]; then
        echo "setup: an index stayed stale; installing from the release suites without the security suite"
        parts=$(mktemp -d)
        for f in /etc/apt/sources.list.d/*.sources; do
            [ -e "$f" ] && awk 'BEGIN { RS = ""; ORS = "\n\n" } !/security/' "$f" >"$parts/$(basename "$f")"
        done
        list=$(mktemp)
        [ -e /etc/apt/sources.list ] && grep -v security /etc/apt/sources.list >"$list" || true
        apt_install -o Dir::Etc::SourceParts="$parts" -o Dir::Etc::SourceList="$list"
        rm -rf "$parts" "$list"
    fi
fi
# The wizard is German; Wine takes the user locale from LANG.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
