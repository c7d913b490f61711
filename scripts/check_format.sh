#!/usr/bin/env bash
# The program's folders as .clang-format lays them out: lists every file
# whose layout differs and fails; nothing is changed.  To lay them out:
#   scripts/check_format.sh --fix
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
command -v clang-format >/dev/null || { echo "SKIP: clang-format is missing (scripts/setup.sh --tests installs it)"; exit 77; }
mapfile -t files < <(git ls-files -- {binding,diagnosis,cli,window,guard,usbwatch}/'*.cpp' \
    {binding,diagnosis,cli,window,guard,usbwatch}/'*.h')
[ ${#files[@]} -gt 0 ] || { echo "FAIL: no source files found under $root"; exit 1; }
if [ "${1:-}" = --fix ]; then
    clang-format -i --style=file "${files[@]}"
    exit 0
fi
differ=0
for file in "${files[@]}"; do
    if ! clang-format --style=file --dry-run -Werror "$file" >/dev/null 2>&1; then
        echo "FAIL: $file differs from its layout (scripts/check_format.sh --fix)"
        differ=1
    fi
done
[ "$differ" = 0 ] && echo "PASS: ${#files[@]} files laid out as .clang-format says"
exit "$differ"
