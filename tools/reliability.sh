#!/bin/bash
# make reliability: fault injection against the real update.exe.
# Runs wizard_reliability.exe (UI driver) in a Wine prefix of its own
# (build/reliability/prefix) against a local update server of its own:
# $CUT_RUNS installs (default 50) with the FTP data connection cut at a
# random byte offset, one hostile archive per refusal rule, hostile update
# lists, a locked and a read-only target file and a target folder that
# cannot be made; stalled FTP and HTTP transfers, FTP listings that
# understate the sizes, cut HTTP bodies, backup copies that cannot be made
# and a product drive that fills up; faults that pass (a cut or stall of
# only the first transfer of a file: it must arrive), no FTP at all and an
# FTP server that cannot connect back (every file must come another way). For the last, a 4 MiB tmpfs is mounted
# at $work/tdrive and mapped as drive T: of the prefix (this needs root;
# where mounting is refused those runs are skipped and the summary says
# so); it is unmounted at the end. Prints the runs that went wrong, one
# summary line and the runs per fault class.
# Usage: tools/reliability.sh <builddir>   (SEED=n repeats a run)
set -u
build=$(cd "${1:?build folder}" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
work="$build/reliability"
export WINEPREFIX="$work/prefix"
. "$here/tools/wine-env.sh"
# German user locale: the download log is dated d.M.yyyy, as for the users.
export LANG=de_DE.UTF-8
winpath() { printf 'Z:%s' "${1//\//\\}"; }
mkdir -p "$work"
cmake --build "$build" --target wizard_reliability update -j2 >/dev/null || exit 1
"$here/tools/wine-prefix.sh" || { echo "reliability: Wine prefix could not be made" >&2; exit 1; }

tdrive="$work/tdrive"
mounted=0
cleanup() {
    "$here/tools/test-server.sh" stop "$work" >/dev/null 2>&1
    "$WINESERVER" -k 2>/dev/null
    "$here/tools/xvfb.sh" stop
    rm -f "$WINEPREFIX/dosdevices/t:"
    [ "$mounted" = 1 ] && umount "$tdrive"
}
trap cleanup EXIT

# The small drive for the full-disk runs; one left mounted by an aborted
# run is made afresh.
mkdir -p "$tdrive"
mountpoint -q "$tdrive" && umount "$tdrive" 2>/dev/null
if mount -t tmpfs -o size=4m tmpfs "$tdrive" 2>/dev/null; then
    mounted=1
    ln -sfn "$tdrive" "$WINEPREFIX/dosdevices/t:"
    export RELIABILITY_FULL_DRIVE=T:
else
    export RELIABILITY_FULL_SKIP="mount refused"
fi
"$here/tools/test-server.sh" start "$work" >/dev/null || { echo "reliability: update server did not start" >&2; exit 1; }

seed=${SEED:-$(date +%s)}
start=$(date +%s)
# Output to a file, not a pipe: a Wine process left behind would hold a pipe open.
"$here/tools/wine-run.sh" "$build/wizard_reliability.exe" "$(winpath "$build/update.exe")" \
    "$(winpath "$work/server")" "${CUT_RUNS:-50}" "$seed" >"$work/result.txt" 2>&1
rc=$?
tr -d '\r' <"$work/result.txt" | grep -v '^X connection to'
echo "reliability: seed $seed, $(( $(date +%s) - start )) s"
exit $rc
