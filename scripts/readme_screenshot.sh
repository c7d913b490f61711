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

. "$root/scripts/xsession.sh"
start_virtual_display
start_and_wait_for_check NORVSIM_SCENARIO="$root/docs/readme-scenario.json" "$program"
grep -q "startup check done 0" "$session_log" || { cat "$session_log" >&2; exit 1; }

capture_connected_window "$picture"
echo "Picture of the connected window: $picture"
