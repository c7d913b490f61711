#!/usr/bin/env bash
# The Windows build of one size under wine: cross-builds the program and its
# test executables against the cached Qt for Windows, runs them with ctest
# in a throw-away wine prefix on a virtual X server, then makes the ZIP,
# unzips it into a fresh prefix with demo/norvane.dll copied beside
# QarnDiag.exe, starts the window, waits for its start-up check, saves a
# screenshot when given a file for it, presses Enter (OK) and reads the
# stored choice with reg.
#   scripts/windows_tests.sh x86_64|i686 [build folder] [screenshot.png]
# Exit status 77 (skipped), with one line saying how to get what is
# missing, where the compilers, wine or the Qt for Windows cache are
# missing; building that cache is not part of this script.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
size="${1:-}"
case "$size" in x86_64|i686) ;; *) echo "usage: $0 x86_64|i686 [build folder] [screenshot.png]" >&2; exit 2 ;; esac
build="$(realpath -m "${2:-$root/build-windows/$size-tests}")"
picture="${3:-}"
started=$(date +%s.%N)
seconds() { awk -v from="$1" -v to="$(date +%s.%N)" 'BEGIN { printf "%.1f", to - from }'; }

compiler="$size-w64-mingw32-g++-posix"
command -v "$compiler" >/dev/null || { echo "SKIP: Windows $size: $compiler is missing (scripts/setup.sh --tests installs it)"; exit 77; }
if [ "$size" = x86_64 ]; then wine=/usr/lib/wine/wine64; else wine=/usr/lib/wine/wine; fi
[ -x "$wine" ] || { echo "SKIP: Windows $size: $wine is missing (scripts/setup.sh --tests installs wine64 and wine32)"; exit 77; }
wineserver=/usr/lib/wine/wineserver
qt="$("$root/scripts/windows_qt_prefix.sh" "$size")" || {
    echo "SKIP: Windows $size: Qt for Windows is not built; scripts/build_windows_qt.sh $size builds it (about 45 min)"
    exit 77
}
runtime="$(dirname "$("$compiler" -print-file-name=libstdc++-6.dll)")"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}"

# The build: kept between runs, so that a second run only builds what changed.
"$root/scripts/configure_windows.sh" "$size" "$build" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$root/scripts/wine_run.sh"
nice -n 5 cmake --build "$build" --parallel 2 >"$build/build.log" 2>&1 || { grep -B2 -A12 -m3 'error' "$build/build.log" | head -60; exit 1; }
echo "Windows $size: built in $(seconds "$started") s"

work="$(mktemp -d)"
source "$root/scripts/xsession.sh"
cleanup() {
    WINEPREFIX="$work/prefix" "$wineserver" -k 2>/dev/null || true
    WINEPREFIX="$work/package-prefix" "$wineserver" -k 2>/dev/null || true
    end_session
    rm -rf "$work"
}
trap cleanup EXIT
start_virtual_display
export QARN_WINE="$wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
unset LC_ALL
export LANG=en_US.UTF-8

# The test executables, in a prefix of their own.
export WINEPREFIX="$work/prefix"
booting=$(date +%s.%N)
timeout 300 /usr/lib/wine/wine64 wineboot --init >"$work/wineboot.log" 2>&1 && timeout 120 "$wineserver" -w \
    || { echo "SKIP: Windows $size: wine cannot start here (wineboot failed)"; tail -5 "$work/wineboot.log"; exit 77; }
echo "Windows $size: wine prefix made in $(seconds "$booting") s"
winepath() { local path="Z:$1"; echo "${path//\//\\}"; }
export WINEPATH="$(winepath "$qt/bin");$(winepath "$runtime");$(winepath "/usr/$size-w64-mingw32/lib")"
running=$(date +%s.%N)
status=0
ctest --test-dir "$build" --output-on-failure --timeout 600 || status=$?
echo "Windows $size: test executables run in $(seconds "$running") s"

# The package as a technician gets it.
(cd "$build" && cpack -G ZIP >"$build/cpack.log" 2>&1) || { tail -20 "$build/cpack.log"; exit 1; }
zip="$build/packages/QarnDiag-$(sed -n 's/^project(QarnDiag VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")-windows-$size.zip"
echo "Windows $size: $(basename "$zip"), $(stat -c %s "$zip") bytes"
unset WINEPATH
export WINEPREFIX="$work/package-prefix"
timeout 300 /usr/lib/wine/wine64 wineboot --init >"$work/wineboot2.log" 2>&1 && timeout 120 "$wineserver" -w \
    || { echo "FAIL: Windows $size: the package's wine prefix could not be made"; tail -5 "$work/wineboot2.log"; exit 1; }
folder="$WINEPREFIX/drive_c/QarnDiag"
mkdir -p "$folder"
unzip -q "$zip" -d "$work/unzipped"
cp -r "$work/unzipped"/*/. "$folder/"
if [ -e "$folder/norvane.dll" ]; then echo "FAIL: norvane.dll lies beside QarnDiag.exe in the package"; status=1; fi
cp "$folder/demo/norvane.dll" "$folder/"
"$wine" reg add 'HKLM\Software\Ardanel\Norvane' /v DeviceName /t REG_SZ /d COM7 /f >/dev/null
window=$(date +%s.%N)
"$wine" 'C:\QarnDiag\QarnDiag.exe' >"$session_log" 2>&1 &
session_app_pid=$!
# A window program's log is lost under wine (its standard error is no
# console, and wine hands it no QT_* variable), so the start-up check is
# seen where the user sees it: the library's version box, empty in the
# layout, holds text (a second colour inside the box) once it has run.
# The box's place in the window: main panel 233,73 + group 6,6 + box 8,70,
# 529 by 21, less its frame.
checked=
for _ in $(seq 600); do
    kill -0 "$session_app_pid" 2>/dev/null || break
    id="$(xdotool search --name '^Ardanel QarnDiag$' 2>/dev/null | head -n 1 || true)"
    if [ -n "$id" ] && import -window "$id" "$work/window.png" 2>/dev/null; then
        colours="$(convert "$work/window.png" -crop 523x15+250+152 +repage -format %k info: 2>/dev/null || echo 0)"
        if [ "${colours:-0}" -gt 1 ]; then checked=1; break; fi
    fi
    sleep 0.1
done
if [ -n "$checked" ]; then
    echo "PASS: the unzipped window started and its start-up check filled the version box in $(seconds "$window") s"
else
    echo "FAIL: the unzipped window showed no library version within 60 s:"; cat "$session_log"; status=1
fi
# The command line, from the unzipped folder: the console build answers and
# ends with the report's status; a mistyped option gives 2 from either
# program, and the window program ends without opening its window.
row() { # expected status, description, then the command
    local expected="$1" what="$2" got=0
    shift 2
    timeout 120 "$@" >"$work/out" 2>&1 || got=$?
    if [ "$got" = "$expected" ]; then echo "PASS: $what"; else echo "FAIL: $what: status $got"; cat "$work/out"; status=1; fi
}
row 0 "qarndiag-cli.exe --check names C:\\QarnDiag\\norvane.dll" \
    sh -c "\"$wine\" 'C:\\QarnDiag\\qarndiag-cli.exe' --check | tr -d '\r' | grep -F 'C:\\QarnDiag\\norvane.dll'"
row 0 "qarndiag-cli.exe --check --json prints the report and ends with its exitCode" sh -c '
    status=0; "$0" "C:\QarnDiag\qarndiag-cli.exe" --check --json >"$1" || status=$?
    python3 -c "import json, sys; sys.exit(json.load(open(sys.argv[1]))[\"exitCode\"] != int(sys.argv[2]))" "$1" "$status"' \
    "$wine" "$work/report.json"
row 2 "qarndiag-cli.exe --chek gives 2" "$wine" 'C:\QarnDiag\qarndiag-cli.exe' --chek
row 2 "QarnDiag.exe --chek gives 2 and opens no window" "$wine" 'C:\QarnDiag\QarnDiag.exe' --chek
if [ -n "$picture" ]; then
    sleep 1
    mkdir -p "$(dirname "$picture")"
    import -window "$(xdotool search --name '^Ardanel QarnDiag$' | head -n 1)" "$picture"
    echo "Windows $size: screenshot $picture"
fi
# OK has the focus once the library was found: Enter stores the choice.
xdotool search --name '^Ardanel QarnDiag$' windowfocus --sync key Return >/dev/null 2>&1 || true
for _ in $(seq 100); do kill -0 "$session_app_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$session_app_pid" 2>/dev/null; then
    echo "FAIL: the window did not close on OK"; status=1
fi
stored="$("$wine" reg query 'HKLM\Software\Ardanel\Norvane' /v DeviceName 2>&1 | tr -d '\r' || true)"
if grep -q 'DeviceName.*REG_SZ' <<<"$stored" && ! grep -q 'COM7' <<<"$stored"; then
    echo "PASS: OK stored the choice: $(grep DeviceName <<<"$stored" | xargs)"
else
    echo "FAIL: OK did not store the choice:"; echo "$stored"; status=1
fi
echo "Windows $size: $(seconds "$started") s in all"
exit "$status"
