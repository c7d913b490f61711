#!/usr/bin/env bash
# Starts a program of this project under a virtual X server, waits until its
# start-up check is done (the "qarndiag.startup" log category says so),
# saves a PNG of the screen and ends the program.
#   scripts/screenshot.sh <program> <picture.png> [seconds-to-wait-after]
set -euo pipefail
program="$1"
picture="$2"
settle="${3:-0.5}"

log="$(mktemp)"
display_file="$(mktemp)"
cleanup() {
    [ -n "${app_pid:-}" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -f "$log" "$display_file"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$display_file" ] && break
    sleep 0.05
done
export DISPLAY=":$(cat "$display_file")"

QT_LOGGING_RULES="qarndiag.startup.debug=true" "$program" >"$log" 2>&1 &
app_pid=$!
for _ in $(seq 200); do
    grep -q "startup check done" "$log" && break
    if ! kill -0 "$app_pid" 2>/dev/null; then
        cat "$log" >&2
        echo "QarnDiag ended before its start-up check" >&2
        exit 1
    fi
    sleep 0.05
done
grep -q "startup check done" "$log" || { cat "$log" >&2; echo "no start-up check within 10 s" >&2; exit 1; }
sleep "$settle"
import -window root "$picture"
echo "Screenshot of QarnDiag after its start-up check: $picture"
