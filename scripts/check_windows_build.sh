#!/usr/bin/env bash
# Cross-compiles the Windows sources with mingw-w64 so that they at least
# build: the binding with its Windows platform file, linked into the small
# load program of the tests, the command line's stop request (compiled
# only), and the USB watcher's and the code page's Windows sources (compiled only, against the Qt
# headers named, which are this machine's; leave them out to skip that
# file).  Nothing is run here; scripts/wine_tests.sh runs the binding.
#   scripts/check_windows_build.sh [qt-include-folders, colon-separated]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
compiler=x86_64-w64-mingw32-g++
command -v "$compiler" >/dev/null || { echo "$compiler is missing (scripts/setup.sh --tests installs it)"; exit 77; }
flags=(-std=c++17 -Wall -Wextra -Wformat=2 -Wnon-virtual-dtor -Wold-style-cast -Werror)
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

"$compiler" "${flags[@]}" -I"$root/binding" "$root/binding/uQarnDyn.cpp" \
    "$root/binding/uQarnDynBenchmark.cpp" "$root/binding/uQarnDynTrace.cpp" \
    "$root/binding/uQarnDynPlatformWin.cpp" "$root/tests/loadprobe.cpp" -o "$out/loadprobe.exe"
echo "binding for Windows: built and linked ($(stat -c %s "$out/loadprobe.exe") bytes)"

"$compiler" "${flags[@]}" -I"$root/cli" -c "$root/cli/uStopRequestWin.cpp" -o "$out/uStopRequestWin.o"
echo "command line's stop request for Windows: compiled"

if [ -n "${1:-}" ]; then
    qt=()
    IFS=: read -r -a folders <<<"$1"
    for folder in "${folders[@]}"; do qt+=(-isystem "$folder"); done
    "$compiler" "${flags[@]}" -I"$root/usbwatch" "${qt[@]}" -c "$root/usbwatch/uUsbNotificationWin.cpp" \
        -o "$out/uUsbNotificationWin.o"
    echo "USB watcher for Windows: compiled"
    "$compiler" "${flags[@]}" -I"$root/diagnosis" "${qt[@]}" -c "$root/diagnosis/uCodePageWin.cpp" \
        -o "$out/uCodePageWin.o"
    echo "code page of the library's texts for Windows: compiled"
    for unit in uUsbReaders uUsbReadersWin; do
        "$compiler" "${flags[@]}" -I"$root/diagnosis" "${qt[@]}" -c "$root/diagnosis/$unit.cpp" -o "$out/$unit.o"
    done
    echo "census of USB readers for Windows: compiled"
fi
