#!/usr/bin/env bash
# Builds the binding fuzzer (fuzz/, with clang, libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs it for a bounded time against the
# hostile reader library, starting from a copy of the seed corpus.  Prints
# the executions and the findings; exits non-zero on any finding.
#   scripts/fuzz.sh [seconds, default 30] [build-folder, default build-fuzz]
# A finding's input is kept in <build-folder>/findings/; run it again with
#   NORVFUZZ_TRACE=1 <build-folder>/fuzz_binding <build-folder>/findings/<file>
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-30}"
build="${2:-$root/build-fuzz}"
case "$seconds" in
    '' | *[!0-9]*) echo "usage: $0 [seconds] [build-folder]" >&2; exit 2 ;;
esac

CC=clang CXX=clang++ cmake -S "$root/fuzz" -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$build/findings"
cp "$root"/fuzz/corpus/* "$work/corpus/"
log="$build/fuzz.log"

echo "== Fuzzing the reader library binding for $seconds s"
status=0
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:symbolize=1" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    "$build/fuzz_binding" "$work/corpus" \
    -max_total_time="$seconds" -max_len=8192 -timeout=20 -print_final_stats=1 \
    -artifact_prefix="$build/findings/" >"$log" 2>&1 || status=$?

executions="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
corpus_size="$(grep -oE 'corp: [0-9]+/[^ ]+' "$log" | tail -n 1 || true)"
coverage="$(grep -oE 'cov: [0-9]+' "$log" | tail -n 1 || true)"
findings="$(grep -oE "Test unit written to [^ ]+" "$log" | sed 's/Test unit written to //' || true)"
echo "executions: ${executions:-unknown}; ${coverage:-cov: ?}; ${corpus_size:-corp: ?}"

if [ "$status" -ne 0 ] || [ -n "$findings" ]; then
    echo "FINDING (fuzzer exit status $status):"
    grep -E '^\*\*\* binding rule|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|SUMMARY:' \
        "$log" | head -n 20 || true
    [ -n "$findings" ] && echo "input: $findings"
    echo "full log: $log"
    exit 1
fi
echo "findings: 0"
