#!/bin/bash
# make bench: every benchmark of the project in one go (none is a test).
#   1. extraction: tools/bench-zip.sh (Zip1 against unzip and a bare loop)
#   2. transfers:  tools/bench-transfer.sh (when present)
#   3. the whole wizard on the demo (tools/run-demo.sh in bench mode,
#      bench/bench_wizard.cpp): the start-up time to a visible window and
#      the install run from "Weiter" on the selection to "Beenden", each
#      with the cost of Wine itself measured on an empty Win32 program in
#      the same rounds. Medians of $ROUNDS rounds (default 5).
# Usage: tools/run-bench.sh <builddir>
set -u
build=$(cd "${1:?build folder}" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
rc=0

echo "== extraction (tools/bench-zip.sh)"
"$here/tools/bench-zip.sh" "$build" || rc=1

echo "== transfers (tools/bench-transfer.sh)"
if [ -x "$here/tools/bench-transfer.sh" ]; then
    "$here/tools/bench-transfer.sh" "$build" || rc=1
else
    echo "tools/bench-transfer.sh is not there yet; skipped"
fi

echo "== whole wizard (demo install, bench/bench_wizard.cpp)"
cmake --build "$build" --target bench_wizard wizard_walk update -j2 >/dev/null || exit 1
out="$build/demo/bench-wizard.txt"
mkdir -p "$build/demo"
if ! DEMO_MODE=bench ROUNDS="${ROUNDS:-5}" "$here/tools/run-demo.sh" "$build" >"$out" 2>&1; then
    cat "$out" >&2
    exit 1
fi
median() { awk -v k="$1" '$1==k {print $2}' "$out" | sort -g | awk '{v[NR]=$1} END {if (NR) print v[int((NR+1)/2)]; else print "n/a"}'; }
rounds=$(grep -c '^install_ms ' "$out")
printf 'start-up to a visible window:  update.exe %s ms   empty Win32 program %s ms (to its window; %s ms to start and end)\n' \
    "$(median startup_ms)" "$(median empty_window_ms)" "$(median empty_exit_ms)"
printf 'demo install, "Weiter" to "Beenden": %s ms (4 updates, 6 files, 1.5 MB over FTP from loopback)\n' \
    "$(median install_ms)"
echo "(medians of $rounds rounds; Wine start-up on the empty program is part of every start-up figure)"
exit $rc
