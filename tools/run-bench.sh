#!/bin/bash
# make bench: every benchmark of the project in one go (none is a test).
#   1. extraction: tools/bench-zip.sh (Zip1 against unzip and a bare loop,
#      peak memory, the window's answers while it unpacks)
#   2. transfers:  tools/bench-transfer.sh (FtpDownload and HttpDownload
#      against bare WinInet calls on loopback, FTP also on a paced 100 Mbit/s
#      and 1 Gbit/s line, the window's answers during FtpDownload)
#   3. the whole wizard on the demo (tools/run-demo.sh in bench mode,
#      bench/bench_wizard.cpp, bench/bench_floor.cpp): the start-up time to a
#      visible window beside an empty Win32 program's, and the install run
#      from "Weiter" on the selection to "Beenden" beside its floor, the
#      same fetches made bare; the same install with FTP blocked, its FTP
#      files coming over HTTP, beside those fetches made bare over HTTP.
#      Medians of $ROUNDS rounds (default 5).
# The detail of each comes first; last the goals table, whose figures also
# go to build/bench/summary.txt as "name value" lines ("name n/a" where a
# figure could not be had; the table says why).
# Usage: tools/run-bench.sh <builddir>
set -u
build=$(cd "${1:?build folder}" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
rounds=${ROUNDS:-5}
rc=0
mkdir -p "$here/build/bench"
summary=$here/build/bench/summary.txt
export BENCH_FIGURES=$here/build/bench/figures.txt
: >"$BENCH_FIGURES"
started=$(date +%s)
if [ "$build" = "$here/build" ]; then
    echo "== the 32-bit product (build/); $("$here/tools/i386-emulation.sh")"
    if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
        echo "   Under emulation every figure also measures QEMU: the program and its floor run emulated alike,"
        echo "   but the ratios and times are not those of a real processor (make bench WINE_ARCH=x86_64 measures"
        echo "   the 64-bit build without emulation)."
    fi
else
    echo "== the 64-bit build ($build)"
fi

echo "== extraction (tools/bench-zip.sh)"
RUNS=$rounds "$here/tools/bench-zip.sh" "$build" || rc=1

echo "== transfers (tools/bench-transfer.sh)"
"$here/tools/bench-transfer.sh" "$build" "$rounds" || rc=1

echo "== whole wizard (demo install, bench/bench_wizard.cpp, bench/bench_floor.cpp)"
out="$build/demo/bench-wizard.txt"
mkdir -p "$build/demo"
: >"$out"
if ! cmake --build "$build" --target bench_wizard bench_floor wizard_walk update -j2 >/dev/null; then
    echo "the wizard benchmark could not be built" >&2
    rc=1
elif ! DEMO_MODE=bench ROUNDS="$rounds" "$here/tools/run-demo.sh" "$build" >"$out" 2>&1; then
    cat "$out" >&2
    rc=1
fi
median() { awk -v k="$1" '$1==k {print $2}' "$out" | sort -g | awk '{v[NR]=$1} END {if (NR) print v[int((NR+1)/2)]}'; }
startup=$(median startup_ms) empty=$(median empty_window_ms) install=$(median install_ms) floor=$(median floor_ms)
wizard_rounds=$(grep -c '^install_ms ' "$out")
if [ -n "$startup" ]; then
    printf 'start-up to a visible window waiting for input:  update.exe %s ms   empty Win32 program %s ms (%s ms to start and end)\n' \
        "$startup" "$empty" "$(median empty_exit_ms)"
    echo "startup_over_empty_ms $(echo "$startup - $empty" | bc -l)" >>"$BENCH_FIGURES"
else
    echo "startup_over_empty_ms n/a the wizard rounds did not finish" >>"$BENCH_FIGURES"
fi
if [ -n "$install" ] && [ -n "$floor" ]; then
    printf 'demo install, "Weiter" to "Beenden": %s ms; its floor, the same fetches bare: %s ms (%s files: %s)\n' \
        "$install" "$floor" "$(median floor_files)" "$(sed -n 's/^floor_plan //p' "$out")"
    grep '^floor_plan_changed' "$out" | sed 's/^/  warning: the install run fetched other files in round /'
    echo "install_over_floor $(echo "$install / $floor" | bc -l)" >>"$BENCH_FIGURES"
else
    echo "install_over_floor n/a the install or floor rounds did not finish" >>"$BENCH_FIGURES"
fi
fb_install=$(median fallback_install_ms) fb_floor=$(median fallback_floor_ms)
if [ -n "$fb_install" ] && [ -n "$fb_floor" ]; then
    printf 'the same install with FTP blocked (over HTTP): %s ms; its floor, the same files fetched bare over HTTP: %s ms\n' \
        "$fb_install" "$fb_floor"
    echo "install_http_fallback_over_floor $(echo "$fb_install / $fb_floor" | bc -l)" >>"$BENCH_FIGURES"
else
    echo "install_http_fallback_over_floor n/a the rounds with FTP blocked did not finish" >>"$BENCH_FIGURES"
fi
echo "(medians of $wizard_rounds rounds; Wine start-up on the empty program is part of every start-up figure)"

# ---- the goals table -------------------------------------------------------
# name|figure|now|goal (<=, < or >=)|limit
goals='startup_over_empty_ms|start-up to a visible window minus the empty program'"'"'s (ms)|131|<=|30
install_over_floor|demo install / its floor (median / median)|not measured|<=|1.2
install_http_fallback_over_floor|demo install with FTP blocked / its floor over HTTP|not measured|<=|1.3
ftp_100mbit_ratio|FtpDownload / bare 4096-byte loop, 100 Mbit/s, 16 MiB|not measured|<=|1.03
ftp_1gbit_ratio|the same at 1 Gbit/s, 64 MiB|not measured|<=|1.10
ftp_loopback_ratio|the same over loopback, unthrottled, 64 MiB|1.74|<=|1.15
zip_small_ratio|5,000 files of 3 KB / bare Wine write loop|1.35|<=|1.20
zip_big_ratio|256 MiB entry / native unzip|0.60|<=|1.0
http_ratio|HttpDownload / bare URLDownloadToFileW, 64 MiB|0.994|<=|1.05
zip_peak_mib|peak working set extracting the 1 GiB archive (MiB)|23.4|<|32
ui_probe_max_ms_transfer|longest answer to WM_NULL during the 64 MiB FTP transfer (ms)|not measured|<=|100
ui_probe_max_ms_extract|the same during the 1 GiB extraction (ms)|not measured|<=|100'
: >"$summary"
echo
echo "== goals (ratios: medians of the per-round ratios, $rounds rounds, ways alternating within each round;"
echo "   install_over_floor: median install / median floor; FTP paced by the server's ftp_rate)"
printf '%-32s %-66s %12s %8s %10s  %s\n' name figure now goal measured ""
while IFS='|' read -r name text now op limit; do
    line=$(grep -m1 "^$name " "$BENCH_FIGURES")
    value=$(awk '{print $2}' <<<"$line")
    why=$(cut -d' ' -f3- <<<"$line")
    if [ -z "$value" ]; then value=n/a why="no figure came (see the output above)"; fi
    if [ "$value" = n/a ]; then
        echo "$name n/a" >>"$summary"
        printf '%-32s %-66s %12s %8s %10s  %s\n' "$name" "$text" "$now" "$op $limit" n/a "not measured: $why"
        rc=1
        continue
    fi
    case $name in *_ms | *_ms_* | *_mib) format=%.1f ;; *) format=%.3f ;; esac
    value=$(awk -v v="$value" -v f="$format" 'BEGIN {printf f, v}')
    echo "$name $value" >>"$summary"
    verdict=$(awk -v v="$value" -v l="$limit" -v op="$op" 'BEGIN {
        ok = (op == "<=") ? v <= l : (op == "<") ? v < l : v >= l
        print ok ? "ok" : "MISSED" }')
    printf '%-32s %-66s %12s %8s %10s  %s\n' "$name" "$text" "$now" "$op $limit" "$value" "$verdict"
done <<<"$goals"
echo "(written to $summary; make bench took $(( $(date +%s) - started )) s)"
exit $rc
