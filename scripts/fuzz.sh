#!/usr/bin/env bash
# Builds the fuzzers (fuzz/, with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time from a copy of
# its seed corpus: the binding against the hostile reader library, then the
# PC/SC reader library's parsers of card answers and reader attributes
# (NORVFUZZ_PCSC_SECONDS, default 20).
# Prints the executions and the findings; exits non-zero on any finding.
#   scripts/fuzz.sh [seconds, default 30] [build-folder, default build-fuzz]
# A finding's input is kept in <build-folder>/findings/; run it again with
#   NORVFUZZ_TRACE=1 <build-folder>/fuzz_binding <build-folder>/findings/<file>
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-30}"
build="${2:-$root/build-fuzz}"
card_seconds="${NORVFUZZ_PCSC_SECONDS:-20}"
case "$seconds$card_seconds" in
    '' | *[!0-9]*) echo "usage: $0 [seconds] [build-folder]" >&2; exit 2 ;;
esac

CC=clang CXX=clang++ cmake -S "$root/fuzz" -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/findings"
failed=0

# run_fuzzer TITLE EXECUTABLE CORPUS SECONDS MAX_LEN: one bounded run from a
# copy of the seed corpus; prints its figures and any finding.
run_fuzzer() {
    local title="$1" name="$2" corpus="$3" time="$4" max_len="$5"
    mkdir -p "$work/$name"
    cp "$root/fuzz/$corpus"/* "$work/$name/"
    local log="$build/$name.log"
    echo "== Fuzzing $title for $time s"
    local status=0
    ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:symbolize=1" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
        "$build/$name" "$work/$name" \
        -max_total_time="$time" -max_len="$max_len" -timeout=20 -print_final_stats=1 \
        -artifact_prefix="$build/findings/" >"$log" 2>&1 || status=$?

    local executions corpus_size coverage findings
    executions="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
    corpus_size="$(grep -oE 'corp: [0-9]+/[^ ]+' "$log" | tail -n 1 || true)"
    coverage="$(grep -oE 'cov: [0-9]+' "$log" | tail -n 1 || true)"
    findings="$(grep -oE "Test unit written to [^ ]+" "$log" | sed 's/Test unit written to //' || true)"
    echo "executions: ${executions:-unknown}; ${coverage:-cov: ?}; ${corpus_size:-corp: ?}"

    if [ "$status" -ne 0 ] || [ -n "$findings" ]; then
        echo "FINDING (fuzzer exit status $status):"
        grep -E '^\*\*\* (binding|card parser) rule|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|SUMMARY:' \
            "$log" | head -n 20 || true
        [ -n "$findings" ] && echo "input: $findings"
        echo "full log: $log"
        failed=1
        return
    fi
    echo "findings: 0"
}

run_fuzzer "the reader library binding" fuzz_binding corpus "$seconds" 8192
run_fuzzer "the PC/SC library's card and attribute parsers" fuzz_pcsc_card corpus_pcsc "$card_seconds" 300
exit "$failed"
