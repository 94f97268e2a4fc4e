#!/bin/bash
# Benchmark of Zip1 (not a test): builds bench_zip, makes the archives once
# into build/bench-zip, then compares under the same conditions
#   (a) one 256 MiB file:            Zip1 under Wine vs. native unzip -o -q
#   (b) 5,000 files of 3 KB in 50 folders: Zip1 vs. unzip vs. a bare loop
#       under Wine that writes the same files from memory
#   (c) peak working set of Zip1 while extracting a 1 GiB archive, and in a
#       second process the same extraction on the thread of the wizard's
#       window with bench_probe.exe timing the window's answers.
# Each ratio is the median of the ratios of $RUNS runs (default 5); within a
# run both sides of a ratio run back to back. Usage: tools/bench-zip.sh [BUILD]
# With BENCH_FIGURES=<file> it appends "name value" lines for
# tools/run-bench.sh: zip_big_ratio, zip_small_ratio, zip_peak_mib,
# ui_probe_max_ms_extract.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
work=$build/bench-zip
RUNS=${RUNS:-5}
figures=${BENCH_FIGURES:-/dev/null}
cmake --build "$build" --target bench_zip bench_probe -j2 >/dev/null
mkdir -p "$work"

/usr/bin/python3 - "$work" <<'PY'
import os, random, subprocess, sys
work = sys.argv[1]
def text_file(path, size, seed):
    # Word text (compresses about 3:1), varied per 4 MiB so deflate has work.
    rnd = random.Random(seed)
    words = [b"Profil", b"Symbol", b"Vorlage", b"Katalog", b"Ebene", b"Linie", b"Kreis", b"Bogen",
             b"Schraffur", b"Bemassung", b"Layer", b"Text", b"%d" % rnd.getrandbits(20)]
    base = b" ".join(rnd.choice(words) + bytes([48 + rnd.getrandbits(3)]) for _ in range(600_000))[: 4 << 20]
    with open(path, "wb") as f:
        done = 0
        while done < size:
            k = rnd.randrange(len(base))
            block = bytearray(base[k:] + base[:k])
            for _ in range(2000):
                block[rnd.randrange(len(block))] = rnd.getrandbits(8)
            block = block[: size - done]
            f.write(block)
            done += len(block)
def zip_one(name, src, level):
    if not os.path.exists(os.path.join(work, name)):
        text_file(os.path.join(work, src), *{"big.bin": (256 << 20, 1), "huge.bin": (1 << 30, 2)}[src])
        subprocess.run(["zip", "-q", level, name, src], cwd=work, check=True)
        os.remove(os.path.join(work, src))
zip_one("big.zip", "big.bin", "-6")
zip_one("huge.zip", "huge.bin", "-1")
if not os.path.exists(os.path.join(work, "small.zip")):
    tree = os.path.join(work, "small")
    data = bytearray(b"a" * 3000)
    for i in range(3000):
        data[i] = ord("a") + (i * 7) % 26
    for top in range(10):
        folder = tree
        for level in range(5):
            folder = os.path.join(folder, "d%d_%d" % (top, level))
            os.makedirs(folder, exist_ok=True)
            for f in range(100):
                data[0] = ord("A") + f % 26
                with open(os.path.join(folder, "f%d.dat" % f), "wb") as out:
                    out.write(data)
    subprocess.run(["zip", "-q", "-r", "../small.zip", "."], cwd=tree, check=True)
PY

winpath="Z:${work//\//\\}"
clean() { rm -rf "$work"/ours_* "$work"/bare_* "$work"/unz_*; }
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
cat "$work"/*.zip >/dev/null  # same warm cache for every contender

declare -a A=() B=() BARE=() UA=() UB=() RA=() RB=()
peak_speed=0
for run in $(seq "$RUNS"); do
    clean
    # The side that goes first of the small-file pair meets the disk still
    # writing back the big entry; every other run the bare loop goes first.
    order=ours-first
    [ $((run % 2)) -eq 0 ] && order=bare-first
    out=$("$here/tools/wine-run.sh" "$build/bench_zip.exe" speed "$winpath" 1 "$order" | tr -d '\r')
    A+=("$(awk '$1=="ours_a"{print $2}' <<<"$out")")
    B+=("$(awk '$1=="ours_b"{print $2}' <<<"$out")")
    BARE+=("$(awk '$1=="bare_b"{print $2}' <<<"$out")")
    peak_speed=$(awk '$1=="peak_speed"{print $2}' <<<"$out")
    t0=$(date +%s.%N); unzip -o -q "$work/big.zip" -d "$work/unz_a"; t1=$(date +%s.%N)
    unzip -o -q "$work/small.zip" -d "$work/unz_b"; t2=$(date +%s.%N)
    UA+=("$(echo "$t1 - $t0" | bc -l)")
    UB+=("$(echo "$t2 - $t1" | bc -l)")
    RA+=("$(echo "${A[-1]} / ${UA[-1]}" | bc -l)")
    RB+=("$(echo "${B[-1]} / ${BARE[-1]}" | bc -l)")
done
# The extracted big file must be the same for both.
cmp "$work/ours_a/big.bin" "$work/unz_a/big.bin"
diff -r "$work/ours_b0" "$work/unz_b" >/dev/null
clean
mem=$("$here/tools/wine-run.sh" "$build/bench_zip.exe" memory "$winpath" | tr -d '\r')
clean
probe=$("$here/tools/wine-run.sh" "$build/bench_zip.exe" probe "$winpath" | tr -d '\r') || true
rm -rf "$work"/probe_c

a=$(printf '%s\n' "${A[@]}" | median); b=$(printf '%s\n' "${B[@]}" | median)
bare=$(printf '%s\n' "${BARE[@]}" | median)
ua=$(printf '%s\n' "${UA[@]}" | median); ub=$(printf '%s\n' "${UB[@]}" | median)
ra=$(printf '%s\n' "${RA[@]}" | median); rb=$(printf '%s\n' "${RB[@]}" | median)
peak_c=$(awk '$1=="peak_c"{print $2}' <<<"$mem"); peak_start=$(awk '$1=="peak_start"{print $2}' <<<"$mem"); c=$(awk '$1=="ours_c"{print $2}' <<<"$mem")
mib() { echo "scale=1; $1 / 1048576" | bc -l; }
echo "Medians of $RUNS runs; a ratio is the median of the runs' ratios"
printf '(a) 256 MiB file:   Zip1 %.2f s   unzip %.2f s   ratio %.2f\n' "$a" "$ua" "$ra"
printf '(b) 5,000 x 3 KB:   Zip1 %.2f s   bare Wine loop %.2f s   ratio %.2f   unzip %.2f s\n' \
    "$b" "$bare" "$rb" "$ub"
printf '(c) 1 GiB archive:  Zip1 %.2f s   peak working set %s MiB (goal < 32; %s MiB before extracting); during (a)+(b): %s MiB\n' \
    "$c" "$(mib "$peak_c")" "$(mib "$peak_start")" "$(mib "$peak_speed")"
probe_ms=$(awk '$1=="probe_max_ms"{print $2}' <<<"$probe")
printf '(c) again on the window'"'"'s thread: %s s, longest answer of the window %s ms (%s probes every 50 ms)\n' \
    "$(awk '$1=="probe_c"{print $2}' <<<"$probe")" "${probe_ms:-n/a}" "$(awk '$1=="probes"{print $2}' <<<"$probe")"
{
    printf 'zip_big_ratio %.3f\nzip_small_ratio %.3f\n' "$ra" "$rb"
    if [ -n "$peak_c" ] && [ "$peak_c" != 0 ]; then echo "zip_peak_mib $(mib "$peak_c")"
    else echo "zip_peak_mib n/a the system gave no working set"; fi
    echo "ui_probe_max_ms_extract ${probe_ms:-n/a the probe found no window or gave no answer}"
} >>"$figures"
