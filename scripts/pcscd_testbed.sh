#!/usr/bin/env bash
# A private pcscd with the virtual PC/SC reader driver (vpcd), for tests and
# scripts, that leaves the machine's own pcscd and readers alone.
#
#   pcscd_testbed.sh check            exit 0 when a test bed can run here;
#                                     otherwise say why and exit 77
#   pcscd_testbed.sh run DIR PORT     become the daemon (foreground)
#   pcscd_testbed.sh start DIR [PORT] start it in the background, wait until
#                                     its two readers are listed, and print
#                                     the lines PCSCLITE_CSOCK_NAME=..., PORT=...
#   pcscd_testbed.sh empty DIR        the same daemon with no reader at all
#   pcscd_testbed.sh stop DIR         end a daemon started so
#
# pcscd always puts its socket and pid file into /run/pcscd and looks for USB
# drivers in its drivers folder.  So the daemon runs in a mount namespace of
# its own where DIR/run stands in for /run (the socket is
# DIR/run/pcscd/pcscd.comm, which clients are given by PCSCLITE_CSOCK_NAME)
# and an empty folder stands in for the drivers folder (no USB reader of the
# machine is taken).  Its reader.conf.d (DIR/conf) names a copy of the vpcd
# driver, which listens on localhost:PORT for the card of slot 0 and PORT+1
# for slot 1; the reader names are "Virtual PCD 00 00" and "Virtual PCD 00 01".
set -euo pipefail

drivers=/usr/lib/pcsc/drivers
vpcd="$drivers/serial/libifdvpcd.so"

fail() { echo "pcscd_testbed: $*" >&2; exit 1; }

namespace_command() {
    if [ "$(id -u)" -eq 0 ]; then
        echo "unshare -m --propagation private"
    else
        echo "unshare -U -r -m --propagation private"
    fi
}

check() {
    command -v pcscd >/dev/null || { echo "pcscd is not installed (package pcscd)"; return 77; }
    command -v pcsc_scan >/dev/null || { echo "pcsc_scan is not installed (package pcsc-tools)"; return 77; }
    [ -e "$vpcd" ] || { echo "the virtual reader driver is not installed (package vsmartcard-vpcd)"; return 77; }
    [ -d "$drivers" ] || { echo "no pcsc-lite drivers folder $drivers"; return 77; }
    # shellcheck disable=SC2046
    $(namespace_command) -- true 2>/dev/null ||
        { echo "cannot make a private mount namespace (unshare) for the daemon"; return 77; }
}

prepare() {
    local dir="$1" port="$2"
    mkdir -p "$dir/run" "$dir/conf" "$dir/drivers"
    [ "$port" != none ] || return 0
    cp "$(readlink -f "$vpcd")" "$dir/libifdvpcd.so"
    cat >"$dir/conf/vpcd" <<EOF
FRIENDLYNAME "Virtual PCD"
DEVICENAME   /dev/null:$port
LIBPATH      $dir/libifdvpcd.so
CHANNELID    $port
EOF
}

free_port_pair() {
    local port
    for _ in $(seq 1 50); do
        port=$((20000 + RANDOM % 30000))
        # A port is taken when something accepts a connection on it.
        if ! (: <"/dev/tcp/127.0.0.1/$port") 2>/dev/null &&
            ! (: <"/dev/tcp/127.0.0.1/$((port + 1))") 2>/dev/null; then
            echo "$port"
            return
        fi
    done
    fail "no free pair of TCP ports"
}

run() {
    local dir port
    dir="$(cd "$1" && pwd)"
    port="$2"
    prepare "$dir" "$port"
    # shellcheck disable=SC2046
    exec $(namespace_command) -- sh -c '
        mount --bind "$1/run" /run &&
        mount --bind "$1/drivers" "$2" &&
        exec pcscd --foreground --info --config "$1/conf"' sh "$dir" "$drivers"
}

two_readers_listed() { # SOCKET
    [ "$(PCSCLITE_CSOCK_NAME="$1" timeout 5 pcsc_scan -r 2>/dev/null | grep -c 'Virtual PCD')" = 2 ]
}

no_reader_listed() { # SOCKET
    PCSCLITE_CSOCK_NAME="$1" timeout 5 pcsc_scan -r 2>&1 | grep -q 'No reader'
}

# launch DIR PORT CHECK...: starts the daemon in the background and waits,
# at most 10 s, until CHECK SOCKET succeeds; prints the socket's line.
launch() {
    local dir="$1" port="$2" socket pid
    shift 2
    socket="$dir/run/pcscd/pcscd.comm"
    "$0" run "$dir" "$port" >"$dir/pcscd.log" 2>&1 &
    pid=$!
    echo "$pid" >"$dir/daemon.pid"
    for _ in $(seq 1 100); do
        if "$@" "$socket"; then
            echo "PCSCLITE_CSOCK_NAME=$socket"
            return 0
        fi
        kill -0 "$pid" 2>/dev/null || { cat "$dir/pcscd.log" >&2; fail "pcscd ended at start"; }
        sleep 0.1
    done
    stop "$dir"
    fail "pcscd did not list its readers within 10 s"
}

start() {
    local dir="$1" port="${2:-}"
    mkdir -p "$dir"
    dir="$(cd "$dir" && pwd)"
    [ -n "$port" ] || port="$(free_port_pair)"
    launch "$dir" "$port" two_readers_listed
    echo "PORT=$port"
}

empty() {
    local dir="$1"
    mkdir -p "$dir"
    dir="$(cd "$dir" && pwd)"
    launch "$dir" none no_reader_listed
}

stop() {
    local dir="$1" pid
    [ -f "$dir/daemon.pid" ] || return 0
    pid="$(cat "$dir/daemon.pid")"
    rm -f "$dir/daemon.pid"
    kill -TERM "$pid" 2>/dev/null || return 0
    for _ in $(seq 1 50); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
}

case "${1:-}" in
check) check ;;
run) [ $# -eq 3 ] || fail "usage: $0 run DIR PORT"; run "$2" "$3" ;;
start) [ $# -ge 2 ] || fail "usage: $0 start DIR [PORT]"; start "$2" "${3:-}" ;;
empty) [ $# -eq 2 ] || fail "usage: $0 empty DIR"; empty "$2" ;;
stop) [ $# -eq 2 ] || fail "usage: $0 stop DIR"; stop "$2" ;;
*) sed -n '2,20p' "$0" >&2; exit 2 ;;
esac
