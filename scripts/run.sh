#!/usr/bin/env bash
# Installs what is missing, builds, and starts QarnDiag with the stand-in
# reader library beside it.  With no display it runs under a virtual X
# server, saves a screenshot once the start-up check is done, and ends.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build"
program="$root/build/bin/QarnDiag"

if [ -n "${DISPLAY:-}" ]; then
    exec "$program"
fi

exec "$root/scripts/screenshot.sh" "$program" "$root/build/qarndiag-start.png"
