#!/usr/bin/env bash
# scripts/check_skips.sh on a ctest run of its own: skips of whole tests and
# of QtTest rows, allowed and not, for one build kind and not another.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cat >"$work/CTestTestfile.cmake" <<'TESTS'
add_test(whole_allowed /bin/sh -c "echo 'skipped: built with sanitizers'; exit 77")
add_test(whole_refused /bin/sh -c "echo 'pcscd is not installed'; exit 77")
add_test(rows /bin/sh -c "echo 'SKIP   : T::a(root) cannot be made read-only here'; echo 'SKIP   : T::b() no <udev> & more'")
add_test(passes /bin/sh -c "echo 'PASS   : T::c()'")
set_tests_properties(whole_allowed whole_refused PROPERTIES SKIP_RETURN_CODE 77)
TESTS
ctest --test-dir "$work" --output-junit "$work/junit.xml" >/dev/null
list='# kind | test | message | why
sanitize | whole_allowed | sanitizers     | not packaged
*        | ro.s          | read-only here | root writes anything'
status=0
"$root/scripts/check_skips.sh" "$work/junit.xml" sanitize <<<"$list" >"$work/out" 2>"$work/err" || status=$?
expect() { # what, expected, actual
    [ "$2" == "$3" ] || { printf 'FAIL: %s\nexpected: %s\nactual:   %s\n' "$1" "$2" "$3"; exit 1; }
}
expect "status" 1 "$status"
expect "allowed" "skipped, allowed: whole_allowed: skipped: built with sanitizers (not packaged)
skipped, allowed: rows: SKIP   : T::a(root) cannot be made read-only here (root writes anything)" "$(sort -r "$work/out")"
expect "refused" "SKIPPED, NOT ALLOWED: whole_refused: pcscd is not installed
SKIPPED, NOT ALLOWED: rows: SKIP   : T::b() no <udev> & more" "$(grep '^SKIPPED' "$work/err" | sort -r)"
# Another kind: the sanitizer's entry does not apply.
"$root/scripts/check_skips.sh" "$work/junit.xml" normal <<<"$list" >/dev/null 2>"$work/err" || true
expect "other kind" "3" "$(grep -c '^SKIPPED' "$work/err")"
# Everything allowed: the run passes.
"$root/scripts/check_skips.sh" "$work/junit.xml" normal <<<"* | .* | . | all" >/dev/null
echo "PASS: skips checked against the list"
