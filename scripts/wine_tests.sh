#!/usr/bin/env bash
# Runs the Windows side of the binding under wine.  Cross-builds with
# mingw-w64 the binding into the load probe (tests/loadprobe.cpp) and the
# test program (tests/wintests.cpp), and the stand-in reader library as
# norvane.dll: for 64-bit Windows, for 32-bit Windows, and a 64-bit build
# that needs dependency.dll.  Then runs the test program in a private wine
# prefix made for this run and removed after it.  Exit status 77 (skipped)
# where the compilers are missing or wine cannot start.
#   scripts/wine_tests.sh [folder for build files kept between runs]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
compiler=x86_64-w64-mingw32-g++-posix
compiler32=i686-w64-mingw32-g++-posix
for tool in "$compiler" "$compiler32"; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (scripts/setup.sh --tests installs it)"; exit 77; }
done
wine="$(command -v wine64 || true)"
[ -n "$wine" ] || [ ! -x /usr/lib/wine/wine64 ] || wine=/usr/lib/wine/wine64
[ -n "$wine" ] || { echo "SKIP: wine64 is missing (scripts/setup.sh --tests installs it)"; exit 77; }
wineserver="$(dirname "$wine")/wineserver"
[ -x "$wineserver" ] || wineserver="$(command -v wineserver || echo wineserver)"

out="$(mktemp -d)"
export WINEPREFIX="$out/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
    "$wineserver" -k 2>/dev/null || true
    rm -rf "$out"
}
trap cleanup EXIT
started=$(date +%s.%N)
seconds() { awk -v from="$1" -v to="$(date +%s.%N)" 'BEGIN { printf "%.1f", to - from }'; }

# The prefix is made while the sources compile; it is ready when the wine
# server that wineboot started has ended.
mkdir -p "$WINEPREFIX"
( boot=$(date +%s.%N); timeout 300 "$wine" wineboot --init >"$out/wineboot.log" 2>&1 \
      && timeout 120 "$wineserver" -w && echo "wine prefix made in $(seconds "$boot") s" ) &
booting=$!

builds="$out/builds"
mkdir -p "$builds"/{dependent,dependency,x86,text}
# The JSON headers alone (not the rest of /usr/include), in a folder that
# stays the same from run to run for ccache: the one named, or here.
include="${1:-$PWD}/mingw-include"
mkdir -p "$include"
ln -sfn /usr/include/nlohmann "$include/nlohmann"
flags=(-std=c++17 -O2 -Wall -Wextra -Wformat=2 -Wnon-virtual-dtor -Wold-style-cast -Werror -static)
# ccache, where there is one, spares the second build of the test command.
if command -v ccache >/dev/null; then
    compiler="ccache $compiler" compiler32="ccache $compiler32"
fi
includes=(-isystem "$include" -I"$root/standin")
sources=(reader.cpp scenario.cpp platformWin.cpp)
binding=(-I"$root/binding" "$root/binding/uQarnDyn.cpp" "$root/binding/uQarnDynBenchmark.cpp"
         "$root/binding/uQarnDynTrace.cpp" "$root/binding/uQarnDynPlatformWin.cpp")
# Each stand-in source alone, so that ccache can keep it.
standin() { # compiler, object suffix
    for source in "${sources[@]}"; do
        $1 "${flags[@]}" "${includes[@]}" -c "$root/standin/norvsim_$source" -o "$out/$source$2.o"
    done
}
named=("${sources[@]/#/$out/}")
objects=("${named[@]/%/.o}")
( standin "$compiler32" 32 && $compiler32 "${flags[@]}" -shared "${named[@]/%/32.o}" \
      -o "$builds/x86/norvane.dll" ) &
building32=$!
standin "$compiler" ""
$compiler "${flags[@]}" -shared "${objects[@]}" -o "$builds/norvane.dll"
$compiler "${flags[@]}" -shared -DQARN_DEPENDENCY "$root/tests/windependency.cpp" \
    -o "$builds/dependency/dependency.dll"
$compiler "${flags[@]}" -shared "${objects[@]}" "$root/tests/windependency.cpp" \
    "$builds/dependency/dependency.dll" -o "$builds/dependent/norvane.dll"
$compiler "${flags[@]}" "${binding[@]}" "$root/tests/loadprobe.cpp" -o "$builds/loadprobe.exe"
$compiler "${flags[@]}" "${binding[@]}" "$root/tests/wintests.cpp" -o "$out/wintests.exe"
echo "This file only has the reader library's name; it is not a library." >"$builds/text/norvane.dll"
wait "$building32"
echo "built in $(seconds "$started") s"

if ! wait "$booting"; then
    echo "SKIP: wine cannot start here (wineboot failed):"
    tail -n 5 "$out/wineboot.log"
    exit 77
fi
running=$(date +%s.%N)
status=0
timeout 300 "$wine" "$out/wintests.exe" "Z:${builds//\//\\}" || status=$?
echo "rows run in $(seconds "$running") s; $(seconds "$started") s in all"
exit "$status"
