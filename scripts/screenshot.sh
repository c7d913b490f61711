#!/usr/bin/env bash
# Starts QarnDiag under a virtual X server, waits until its start-up check is
# done, saves a PNG of the screen and ends the program.
#   scripts/screenshot.sh <program> <picture.png> [seconds-to-wait-after]
set -euo pipefail
program="$1"
picture="$2"
settle="${3:-0.5}"
. "$(dirname "$0")/xsession.sh"

start_virtual_display
start_and_wait_for_check "$program"
sleep "$settle"
import -window root "$picture"
echo "Screenshot of QarnDiag after its start-up check: $picture"
