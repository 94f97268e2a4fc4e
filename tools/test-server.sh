#!/bin/bash
# Starts or stops the local update server for a test run.
#
#   tools/test-server.sh start <builddir>   returns once both listeners are up
#   tools/test-server.sh stop <builddir>    stops the server started above
#
# State lives in <builddir>/server/ (the tests get it as UPDATE_TEST_STATE):
#   http_port      HTTP port on 127.0.0.1 (catalogue at /talveroupdate/files/)
#   ftp_port       FTP port on 127.0.0.1 (login 58213_upd / 6184270, folder lupd19/)
#   pid            process id of the server
#   catalogue/     the catalogue folder itself (update19.txt, lupd19/)
#   catalogue_path the catalogue folder as a Unix path, with a trailing slash
#   catalogue_win  the same folder as Wine sees it (Z:\...\), trailing backslash
#   server.env     all of the above as NAME=value lines
#   server.log     the server's own output
#   proxy_port     port of a real HTTP proxy (tinyproxy) on 127.0.0.1 for the
#                  tests that go through the Internet settings' proxy; absent
#                  when tinyproxy is not installed
#   proxy/proxy.log  the proxy's log: a "Request ...: GET http://..." line
#                  for each request it forwarded
# Fault switches: GET http://127.0.0.1:<http_port>/_control?... (see update_server.py).
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
python=/usr/bin/python3

usage() {
    echo "usage: $0 start|stop <builddir> [extra update_server.py options]" >&2
    exit 2
}

[ $# -ge 2 ] || usage
action=$1
build=$(mkdir -p "$2" && cd "$2" && pwd) || exit 1
shift 2
state=$build/server
pidfile=$state/pid

# True when $1 is a live process whose command line matches $2 (guards
# against a stale, reused process id).
runs() {
    [ -n "$1" ] && [ -r "/proc/$1/cmdline" ] && tr '\0' ' ' <"/proc/$1/cmdline" | grep -q "$2"
}

# Stops the process whose id is in file $1 if it still runs what $2
# matches ($3 names it): SIGTERM, and SIGKILL after 5 s.
stop_process() {
    [ -f "$1" ] || return 0
    local pid
    pid=$(cat "$1")
    if runs "$pid" "$2"; then
        kill -TERM "$pid" 2>/dev/null
        for _ in $(seq 50); do
            runs "$pid" "$2" || break
            sleep 0.1
        done
        if runs "$pid" "$2"; then
            echo "$3 $pid ignored SIGTERM; killing it" >&2
            kill -KILL "$pid" 2>/dev/null
        fi
    fi
    rm -f "$1"
}

# tinyproxy runs beside the server, with a configuration of its own in the
# state folder: nothing of the machine's proxy set-up is touched.
proxy_dir=$state/proxy
stop_proxy() { stop_process "$proxy_dir/pid" "tinyproxy.*$proxy_dir" tinyproxy; }

start_proxy() {
    stop_proxy
    rm -f "$state/proxy_port"
    if ! command -v tinyproxy >/dev/null; then
        echo "tinyproxy not installed: the proxy tests are skipped" >&2
        return 0
    fi
    mkdir -p "$proxy_dir" || return 1
    local port
    port=$("$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    : >"$proxy_dir/proxy.log"
    printf '%s\n' "Port $port" "Listen 127.0.0.1" "Allow 127.0.0.1" "Timeout 120" "MaxClients 50" \
        "LogFile \"$proxy_dir/proxy.log\"" "LogLevel Info" "DisableViaHeader Yes" >"$proxy_dir/tinyproxy.conf"
    setsid tinyproxy -d -c "$proxy_dir/tinyproxy.conf" </dev/null >>"$proxy_dir/output.log" 2>&1 &
    echo $! >"$proxy_dir/pid"
    for _ in $(seq 50); do
        if (echo >"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            echo "$port" >"$state/proxy_port"
            echo "proxy $(cat "$proxy_dir/pid"): tinyproxy on 127.0.0.1:$port"
            return 0
        fi
        sleep 0.1
    done
    echo "tinyproxy did not listen on $port:" >&2
    cat "$proxy_dir/output.log" "$proxy_dir/proxy.log" >&2
    stop_proxy
    return 1
}

stop_server() {
    stop_proxy
    stop_process "$pidfile" 'update_server\.py' "update server"
}

start_server() {
    stop_server
    catalogue=$state/catalogue
    mkdir -p "$catalogue/lupd19" || return 1
    rm -f "$state/http_port" "$state/ftp_port" "$state/server.env"
    log=$state/server.log
    : >"$log"
    # Detached from ctest's pipes: ctest waits for every holder of the test's
    # output to let go, so the server must not inherit them.
    setsid "$python" "$here/tools/update_server.py" --catalogue "$catalogue" "$@" \
        </dev/null >>"$log" 2>&1 &
    pid=$!
    echo "$pid" >"$pidfile"
    line=
    for _ in $(seq 150); do
        line=$(grep -m1 '^update_server ready ' "$log")
        [ -n "$line" ] && break
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "update server failed to start:" >&2
            cat "$log" >&2
            rm -f "$pidfile"
            return 1
        fi
        sleep 0.1
    done
    if [ -z "$line" ]; then
        echo "update server did not get ready in 15 s" >&2
        stop_server
        return 1
    fi
    http_port=$(sed -n 's/.* http_port=\([0-9]*\).*/\1/p' <<<"$line")
    ftp_port=$(sed -n 's/.* ftp_port=\([0-9]*\).*/\1/p' <<<"$line")
    catalogue_win="Z:$(tr '/' '\\' <<<"$catalogue")\\"
    echo "$http_port" >"$state/http_port"
    echo "$ftp_port" >"$state/ftp_port"
    echo "$catalogue/" >"$state/catalogue_path"
    printf '%s\n' "$catalogue_win" >"$state/catalogue_win"
    {
        echo "HTTP_PORT=$http_port"
        echo "FTP_PORT=$ftp_port"
        echo "PID=$pid"
        echo "CATALOGUE=$catalogue/"
        printf 'CATALOGUE_WIN=%s\n' "$catalogue_win"
    } >"$state/server.env"
    echo "update server $pid: http 127.0.0.1:$http_port ftp 127.0.0.1:$ftp_port catalogue $catalogue/"
    start_proxy
}

mkdir -p "$state" || exit 1
case "$action" in
    start) start_server "$@" ;;
    stop) stop_server ;;
    *) usage ;;
esac
