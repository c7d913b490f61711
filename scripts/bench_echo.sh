#!/usr/bin/env bash
# Builds and runs the echo benchmark measurements: how close DynBenchmark's
# averages come to the stand-in's configured echo delays (2, 5 and 11 ms),
# and the cost of one binding call against a direct call of the export.
# Then, where a private pcscd can run (scripts/pcscd_testbed.sh check), the
# same for the PC/SC reader library: its echo averages against the virtual
# card's configured delay, the cost of one poll through the library
# against the same PC/SC calls made directly, and the port list's time after
# a USB event that is no reader against one that can be a reader's.
#   scripts/bench_echo.sh [build-folder] [echo_accuracy options: --runs N --calls N]
# An optimised build gives the meaningful call costs; the folder defaults to
# build-bench-release next to the sources.  PCSC_ECHO_DELAY_MS sets the
# virtual card's delay per echo command (default 3).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-bench-release}"
shift || true
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQARN_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build" -j2 --target echo_accuracy norvane
"$build/bench/echo_accuracy" "$@"

echo
if ! reason="$("$root/scripts/pcscd_testbed.sh" check)"; then
    echo "PC/SC reader library: skipped, no private pcscd here: $reason"
    exit 0
fi
cmake --build "$build" -j2 --target bench_pcsc norvane_pcsc qarn-vcard
delay="${PCSC_ECHO_DELAY_MS:-3}"
bed="$(mktemp -d)"
vcard_pid=
cleanup() {
    [ -n "$vcard_pid" ] && kill "$vcard_pid" 2>/dev/null && wait "$vcard_pid" 2>/dev/null
    "$root/scripts/pcscd_testbed.sh" stop "$bed"
    rm -rf "$bed"
}
trap cleanup EXIT
started="$("$root/scripts/pcscd_testbed.sh" start "$bed")"
socket="$(echo "$started" | sed -n 's/^PCSCLITE_CSOCK_NAME=//p')"
port="$(echo "$started" | sed -n 's/^PORT=//p')"
"$build/bin/qarn-vcard" --port "$port" --echo-delay "$delay" &
vcard_pid=$!
PCSCLITE_CSOCK_NAME="$socket" "$build/bench/bench_pcsc" \
    --library-folder "$build/pcsc" --echo-delay "$delay"
