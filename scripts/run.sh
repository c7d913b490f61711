#!/usr/bin/env bash
# Installs what is missing, builds the program and the two reader libraries
# (no tests, no benchmarks) in build-run/, and starts QarnDiag with the
# stand-in reader library beside it.  With no display it runs under a
# virtual X server, saves a screenshot once the start-up check is done, and
# ends.  A folder of its own: the test build (build/) keeps its options.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-run"
"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQARN_BUILD_TESTS=OFF -DQARN_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target QarnDiag norvane norvane_pcsc
program="$build/bin/QarnDiag"

if [ -n "${DISPLAY:-}" ]; then
    exec "$program"
fi

exec "$root/scripts/screenshot.sh" "$program" "$build/qarndiag-start.png"
