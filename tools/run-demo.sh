#!/bin/bash
# make run: the wizard against the bundled demo catalogue (tools/demo/).
#
# Starts the local update server on loopback with the demo catalogue, makes
# a Wine prefix of its own (build/demo/prefix) in which four Mirado products
# are installed at an older state (tools/demo/installed/, registry below
# HKCU\SOFTWARE\Talvero), and starts the wizard:
#   - with a display: on it, for you to click through;
#   - without one: on the build's own Xvfb as a scripted walk-through
#     (wizard_walk.exe, the UI driver) that fills in the customer data,
#     confirms, keeps the offered selection, installs, and saves a screenshot
#     of every step and of the opened download log under build/demo/shots/.
#   - with DEMO_MODE=bench (tools/run-bench.sh): $ROUNDS rounds of
#     bench_wizard.exe, each on freshly installed products, at full speed,
#     and of bench_floor.exe, the same fetches without the wizard; then
#     the same again with FTP blocked (the server's ftp_off), where the
#     install fetches its FTP files over HTTP, beside the floor of those
#     fetches made bare over HTTP ("fallback_" figures).
# The server, the prefix's wineserver and the Xvfb are stopped at the end.
# Usage: tools/run-demo.sh <builddir>
set -u
build=$(cd "${1:?build folder}" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
demo="$build/demo"
export WINEPREFIX="$demo/prefix"
. "$here/tools/wine-env.sh"
mkdir -p "$demo"
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# The demo's prefix opens the download log in the editor, as a desktop does.
TXT_OPEN_COMMAND='notepad.exe "%1"' "$here/tools/wine-prefix.sh" || { echo "run: Wine prefix could not be made" >&2; exit 1; }

cleanup() {
    "$here/tools/test-server.sh" stop "$demo" >/dev/null 2>&1
    "$WINESERVER" -k 2>/dev/null
    "$here/tools/xvfb.sh" stop
}
trap cleanup EXIT

# ---- the update server with the demo catalogue ----
"$here/tools/test-server.sh" start "$demo" >/dev/null || { echo "run: update server did not start" >&2; exit 1; }
. "$demo/server/server.env"
catalogue="$demo/server/catalogue"
rm -rf "$catalogue" && mkdir -p "$catalogue/lupd19"
# The list is kept in the ANSI code page (1252), as the wizard reads it, and
# published with CR LF line ends.
LC_ALL=C sed 's/$/\r/' "$here/tools/demo/update19.txt" >"$catalogue/update19.txt"
find "$here/tools/demo/lupd19" -maxdepth 1 -type f -exec cp {} "$catalogue/lupd19/" \;
(cd "$here/tools/demo/lupd19/symbole19" && zip -q -r -X "$catalogue/lupd19/symbole19.zip" .)
# mtool: a program of 1.5 MB; the list names it mtool.prg, FTP serves it as mtool.EXE.
/usr/bin/python3 -c 'import random,sys; r=random.Random(19); sys.stdout.buffer.write(b"MZ"+bytes(r.getrandbits(8) for _ in range(1500000)))' \
    >"$catalogue/lupd19/mtool.prg"
cp "$catalogue/lupd19/mtool.prg" "$catalogue/lupd19/mtool.EXE"
# Published the vendor's way: a digest beside every file, which the wizard
# checks on each fetched file. The demo build has no list key, so the list
# goes unsigned.
hashed=$(/usr/bin/python3 "$here/tools/publish_catalogue.py" hash "$catalogue") ||
    { echo "run: the demo catalogue could not be hashed" >&2; exit 1; }
echo "run: $hashed"

# ---- the products as installed before the update ----
install_products() {
c="$WINEPREFIX/drive_c"
rm -rf "$c/ProgramData/Talvero" "$c/Programme/Talvero"
mkdir -p "$c/ProgramData" "$c/Programme"
cp -r "$here/tools/demo/installed/ProgramData/Talvero" "$c/ProgramData/"
cp -r "$here/tools/demo/installed/Programme/Talvero" "$c/Programme/"
find "$c/ProgramData/Talvero" "$c/Programme/Talvero" -name .keep -delete
cat >"$demo/products.reg" <<EOF
REGEDIT4

[-HKEY_CURRENT_USER\\Software\\Talvero]

[HKEY_CURRENT_USER\\Software\\Talvero\\CAD\\Settings]
"Mirado19 Dir"="C:\\\\Programme\\\\Talvero\\\\Mirado19\\\\"
"Miradopro19 Dir"="C:\\\\Programme\\\\Talvero\\\\Miradopro19\\\\"
"Mirados19 Dir"="C:\\\\Programme\\\\Talvero\\\\Mirados19\\\\"
"norvix19 Dir"="C:\\\\Programme\\\\Talvero\\\\norvix19\\\\"
"Update Host"="127.0.0.1:$HTTP_PORT"
"FTP Host"="127.0.0.1"
"FTP Port"="$FTP_PORT"

[HKEY_CURRENT_USER\\Software\\Talvero\\Mirado19\\Settings]
"Profiles Dir"="C:\\\\ProgramData\\\\Talvero\\\\Mirado19\\\\Profiles\\\\"

[HKEY_CURRENT_USER\\Software\\Talvero\\Miradopro19\\Settings]
"Profiles Dir"="C:\\\\ProgramData\\\\Talvero\\\\Miradopro19\\\\Profiles\\\\"

[HKEY_CURRENT_USER\\Software\\Talvero\\Mirados19\\Settings]
"Symbol Dir"="C:\\\\ProgramData\\\\Talvero\\\\Mirados2019\\\\Symbole\\\\"
"Vorlage Dir"="C:\\\\ProgramData\\\\Talvero\\\\Mirados2019\\\\Vorlagen\\\\norm.dwt"

[HKEY_CLASSES_ROOT\\txtfile\\shell\\open\\command]
@="${txt_open}"

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="${managed}"
EOF
"$here/tools/wine-run.sh" regedit /S "$(winpath "$demo/products.reg")" >/dev/null 2>&1
}
# A window manager on a real display frames the window; Xvfb has none.
managed=N
[ -n "${DISPLAY:-}" ] && [ "${DEMO_MODE:-}" != bench ] && managed=Y
# The download log opens in the editor; the benchmark rounds need no editor.
txt_open='notepad.exe \"%1\"'
[ "${DEMO_MODE:-}" = bench ] && txt_open='cmd.exe /c exit'
install_products
echo "run: update server http://127.0.0.1:$HTTP_PORT/talveroupdate/files/ and ftp 127.0.0.1:$FTP_PORT (catalogue $catalogue)"
echo "run: demo products installed in $WINEPREFIX (C:\\Programme\\Talvero, C:\\ProgramData\\Talvero)"

# The wizard speaks German and dates its download log the German way.
export LANG=de_DE.UTF-8

if [ "${DEMO_MODE:-}" = bench ]; then
    # Whole-wizard figures: each round on products at their old state again.
    # Beside each install run its floor (bench/bench_floor.cpp): the same
    # fetches, as the previous install run's download log lists them, with
    # nothing around them; the order of the two alternates between rounds.
    plan="$demo/floor-plan.txt"
    rm -f "$plan" "$plan.first"
    # $way: "" for the demo as it is, "fallback" for FTP blocked; the
    # figures of the latter are named fallback_*.
    way=
    prefix() { if [ -n "$way" ]; then sed "s/^/${way}_/"; else cat; fi; }
    server() { curl -s "http://127.0.0.1:$HTTP_PORT/_control?$1" >/dev/null; }
    wizard_round() {
        [ "$round$way" = 1 ] || install_products
        [ -n "$way" ] && server ftp_off=1
        "$here/tools/wine-run.sh" "$build/bench_wizard.exe" "$(winpath "$build/update.exe")" "$(winpath "$plan$way")" \
            >"$demo/bench-round$round$way.txt" 2>&1 || { echo "run: benchmark round $round $way failed" >&2; exit 1; }
        server reset=1
        tr -d "\r" <"$demo/bench-round$round$way.txt" | grep -E '^[a-z_]+ [0-9.]+$' | prefix
        [ -f "$plan.first" ] || cp "$plan" "$plan.first"
        cmp -s "$plan$way" "$plan.first" || echo "floor_plan_changed $round $way"
    }
    floor_round() {
        rm -rf "$demo/floor-scratch"
        "$here/tools/wine-run.sh" "$build/bench_floor.exe" "$FTP_PORT" "$HTTP_PORT" \
            "$(winpath "$catalogue/update19.txt")" "$(winpath "$plan$way")" "$(winpath "$demo/floor-scratch")\\" \
            ${way:+http} >"$demo/bench-floor$round$way.txt" 2>&1 ||
            { echo "run: floor of round $round $way failed" >&2; cat "$demo/bench-floor$round$way.txt" >&2; exit 1; }
        tr -d "\r" <"$demo/bench-floor$round$way.txt" | grep -E '^[a-z_]+ [0-9.]+$' | prefix
    }
    for round in $(seq "${ROUNDS:-5}"); do
        for way in "" fallback; do
            if [ $((round % 2)) = 1 ]; then
                wizard_round
                floor_round
            else
                floor_round
                wizard_round
            fi
        done
        way=
    done
    echo "floor_plan $(tr '\n' ';' <"$plan")"
    exit 0
fi

if [ -n "${DISPLAY:-}" ]; then
    echo "run: opening the wizard on $DISPLAY"
    WINE_REAL_DISPLAY=1 "$here/tools/wine-run.sh" "$build/update.exe"
    exit $?
fi

# ---- no display: the scripted walk-through on the build's own Xvfb ----
display=$("$here/tools/xvfb.sh" start)
shots="$demo/shots"
rm -rf "$shots" && mkdir -p "$shots"
rm -f "$demo"/wizard.png
# A slower line, so that the transfer can be seen on its screenshot.
curl -s "http://127.0.0.1:$HTTP_PORT/_control?throttle=600000" >/dev/null
"$here/tools/wine-run.sh" explorer /desktop=shot,640x480 "$(winpath "$build/wizard_walk.exe")" \
    "$(winpath "$build/update.exe")" "$(winpath "$shots")\\" >/dev/null 2>&1 &

desktop_window() {
    xwininfo -display "$display" -root -tree 2>/dev/null | awk '/"shot - Wine desktop"/ {print $1; exit}'
}
result=
for _ in $(seq 2400); do
    for req in "$shots"/*.req; do
        [ -e "$req" ] || continue
        name=$(basename "$req" .req)
        win=$(desktop_window)
        /usr/bin/import -display "$display" -window "${win:-root}" "$shots/$name.png.tmp.png" 2>/dev/null
        mv "$shots/$name.png.tmp.png" "$shots/$name.png"
        rm -f "$req"
    done
    result=$(tr -d "\r" <"$shots/walk.log" 2>/dev/null | grep -m1 -E "^walk (complete|failed)")
    [ -n "$result" ] && break
    sleep 0.1
done
tr -d "\r" <"$shots/walk.log" 2>/dev/null | sed "s/^/run:   /"
if [ "$result" != "walk complete" ]; then
    echo "run: the walk-through did not complete (${result:-timed out}); screenshots so far in $shots" >&2
    exit 1
fi
echo "run: no display; the wizard ran under Xvfb. Screenshots:"
for f in "$shots"/*.png; do echo "run:   $f"; done
