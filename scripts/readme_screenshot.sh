#!/usr/bin/env bash
# Makes the README's picture: QarnDiag connected to the stand-in reader
# library, with contactless polling showing a card.  Runs the real program
# under a virtual X server and clicks its buttons.
#   scripts/readme_screenshot.sh [build-folder] [picture.png]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
picture="${2:-$root/docs/qarndiag-connected.png}"
program="$build/bin/QarnDiag"
[ -x "$program" ] || { echo "build QarnDiag first (scripts/build.sh)" >&2; exit 1; }

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
for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$display_file")"

NORVSIM_SCENARIO="$root/docs/readme-scenario.json" QT_LOGGING_RULES="qarndiag.startup.debug=true" \
    "$program" >"$log" 2>&1 &
app_pid=$!
for _ in $(seq 200); do grep -q "startup check done" "$log" && break; sleep 0.05; done
grep -q "startup check done 0" "$log" || { cat "$log" >&2; exit 1; }

window="$(xdotool search --sync --name '^Ardanel QarnDiag$' | head -n 1)"
eval "$(xdotool getwindowgeometry --shell "$window")"
# Centres of "Test communication" and "Contactless polling" in the window.
xdotool mousemove $((X + 715)) $((Y + 213)) click 1
sleep 1
xdotool mousemove $((X + 710)) $((Y + 461)) click 1
sleep 1.2
xdotool mousemove $((X + 100)) $((Y + 300))
mkdir -p "$(dirname "$picture")"
import -window "$window" "$picture"
echo "Picture of the connected window: $picture"
