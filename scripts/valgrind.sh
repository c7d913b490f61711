#!/usr/bin/env bash
# Runs every test executable (tests/tst_*) of a build without sanitizers
# under valgrind's memcheck: invalid reads and writes, uses of uninitialised
# values and definite leaks are errors.  Leaks inside system libraries that
# are not ours are suppressed by tests/valgrind.supp.  Too slow for every
# test run; run it by hand after changes to the binding or the windows.
#   scripts/valgrind.sh [build-folder, default build-valgrind]
# The folder is configured (Debug) and built when needed.  Each executable's
# full report is <build-folder>/valgrind/<name>.log.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-valgrind}"

if [ -f "$build/CMakeCache.txt" ] && grep -q '^QARN_SANITIZE:BOOL=ON' "$build/CMakeCache.txt"; then
    echo "$build is built with the sanitizers; valgrind needs a build without them" >&2
    exit 2
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
fi
cmake --build "$build" -j"$(nproc)" >/dev/null

mapfile -t tests < <(find "$build/tests" -maxdepth 1 -type f -name 'tst_*' -perm -u+x | sort)
if [ ${#tests[@]} -eq 0 ]; then
    echo "no test executables in $build/tests" >&2
    exit 2
fi

reports="$build/valgrind"
mkdir -p "$reports"
export QT_QPA_PLATFORM=offscreen QT_FONT_DPI=96 LC_ALL=C.UTF-8
# Timers and waits of the tests run many times slower under valgrind.
export QTEST_FUNCTION_TIMEOUT=1800000

failed=0
printf '%-20s %-8s %-7s %-22s %s\n' executable result errors "definitely lost" seconds
for test in "${tests[@]}"; do
    name="$(basename "$test")"
    log="$reports/$name.log"
    start=$SECONDS
    status=0
    (cd "$build/tests" && valgrind --tool=memcheck --error-exitcode=1 --leak-check=full \
        --errors-for-leak-kinds=definite --show-leak-kinds=definite --num-callers=40 \
        --suppressions="$root/tests/valgrind.supp" --gen-suppressions=all \
        --log-file="$log" "$test" >"$reports/$name.out" 2>&1) || status=$?
    seconds=$((SECONDS - start))
    errors="$(sed -n 's/.*ERROR SUMMARY: \([0-9]*\) errors.*/\1/p' "$log" | tail -n 1)"
    lost="$(sed -n 's/.*definitely lost: \(.*\)$/\1/p' "$log" | tail -n 1)"
    result=ok
    if [ "$status" -ne 0 ]; then
        result=FAILED
        failed=1
    fi
    printf '%-20s %-8s %-7s %-22s %s\n' "$name" "$result" "${errors:-?}" "${lost:-0 bytes in 0 blocks}" \
        "$seconds"
    if [ "$status" -ne 0 ]; then
        grep -E '^(FAIL!|QFATAL)' "$reports/$name.out" | head -n 5 || true
        echo "  report: $log"
    fi
done
exit "$failed"
