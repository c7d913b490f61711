#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: once in a
# normal build and once built with AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh" --tests

jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen

# The only skips this command allows; any other skip, of a whole test or of
# one row, fails the run (scripts/check_skips.sh). One a line:
#   build kind (normal, sanitize or *) | ctest name (extended regular
#   expression) | words of the skip's message (regular expression) | why
allowed_skips='
sanitize | package          | built with sanitizers           | a sanitized build is not packaged
*        | tst_devicechoice | cannot be made read-only here   | as root only an immutable file refuses writes; some file systems cannot make one (chattr +i)
*        | windows_.*       | Qt for Windows                  | Qt for Windows is built apart, not by this command
*        | tst_usbwatch     | no such device in /sys          | a machine without a USB bus (a container) has no USB device in /sys
'

# ctest_and_check <build folder> <build kind>
ctest_and_check() {
    # Whole outputs of passed tests too (ctest keeps 1 KB by default): the
    # skipped rows are in them.
    ctest --test-dir "$1" --output-on-failure -j"$jobs" --test-output-size-passed 33554432 \
        --output-junit "$1/ctest-junit.xml"
    "$root/scripts/check_skips.sh" "$1/ctest-junit.xml" "$2" <<<"$allowed_skips"
}

echo "== Build and test"
"$root/scripts/build.sh" "$root/build" -DQARN_WERROR=ON
ctest_and_check "$root/build" normal

echo "== Build and test with AddressSanitizer and UndefinedBehaviorSanitizer"
"$root/scripts/build.sh" "$root/build-sanitize" -DQARN_SANITIZE=ON -DQARN_WERROR=ON
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
LSAN_OPTIONS="suppressions=$root/tests/lsan.supp" \
    ctest_and_check "$root/build-sanitize" sanitize

echo "== Fuzz the binding against a hostile reader library"
"$root/scripts/fuzz.sh" 30
