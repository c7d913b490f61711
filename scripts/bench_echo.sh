#!/usr/bin/env bash
# Builds and runs the echo benchmark measurements: how close DynBenchmark's
# averages come to the stand-in's configured echo delays (2, 5 and 11 ms),
# and the cost of one binding call against a direct call of the export.
#   scripts/bench_echo.sh [build-folder] [echo_accuracy options: --runs N --calls N]
# An optimised build gives the meaningful call costs; the folder defaults to
# build-bench-release next to the sources.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-bench-release}"
shift || true
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQARN_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build" -j2 --target echo_accuracy norvane
"$build/bench/echo_accuracy" "$@"
