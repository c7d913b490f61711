#!/usr/bin/env bash
# Builds QarnDiag for Windows and makes its ZIP packages, for 32-bit (i686)
# and 64-bit (x86_64) Windows, or the size named:
#   build-windows/QarnDiag-<version>-windows-i686.zip
#   build-windows/QarnDiag-<version>-windows-x86_64.zip
# Builds Qt for Windows first (scripts/build_windows_qt.sh, about 45 min a
# size on two cores) where the cache lacks it; needs the packages of
# scripts/setup.sh --tests.
#   scripts/build_windows.sh [i686|x86_64|all]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
case "${1:-all}" in
    all) sizes=(i686 x86_64) ;;
    i686|x86_64) sizes=("$1") ;;
    *) echo "usage: $0 [i686|x86_64|all]" >&2; exit 2 ;;
esac
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}"
for size in "${sizes[@]}"; do
    started=$(date +%s)
    "$root/scripts/windows_qt_prefix.sh" "$size" >/dev/null || "$root/scripts/build_windows_qt.sh" "$size"
    build="$root/build-windows/$size"
    "$root/scripts/configure_windows.sh" "$size" "$build" -DQARN_BUILD_TESTS=OFF
    nice -n 5 cmake --build "$build" --parallel 2 >"$build/build.log" 2>&1 \
        || { grep -B2 -A12 -m3 'error' "$build/build.log" | head -60 >&2; exit 1; }
    (cd "$build" && cpack -G ZIP >"$build/cpack.log" 2>&1) || { tail -20 "$build/cpack.log" >&2; exit 1; }
    for zip in "$build"/packages/QarnDiag-*-windows-"$size".zip; do
        cp "$zip" "$root/build-windows/"
        echo "$root/build-windows/$(basename "$zip"): $(stat -c %s "$zip") bytes, $(( $(date +%s) - started )) s"
    done
done
