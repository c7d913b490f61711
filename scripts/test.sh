#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: once in a
# normal build and once built with AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh" --tests

jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen

echo "== Build and test"
"$root/scripts/build.sh" "$root/build" -DQARN_WERROR=ON
ctest --test-dir "$root/build" --output-on-failure -j"$jobs"

echo "== Build and test with AddressSanitizer and UndefinedBehaviorSanitizer"
"$root/scripts/build.sh" "$root/build-sanitize" -DQARN_SANITIZE=ON -DQARN_WERROR=ON
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
LSAN_OPTIONS="suppressions=$root/tests/lsan.supp" \
    ctest --test-dir "$root/build-sanitize" --output-on-failure -j"$jobs"

echo "== Fuzz the binding against a hostile reader library"
"$root/scripts/fuzz.sh" 30
