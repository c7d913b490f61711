#!/usr/bin/env bash
# Runs one Windows program of the cross build under wine: the emulator of
# the Windows build's ctest (CMAKE_CROSSCOMPILING_EMULATOR).  The wine
# prefix, the display and WINEPATH (Qt for Windows and the mingw-w64
# run-time) come from scripts/windows_tests.sh; the locale is en_US.UTF-8
# (ANSI code page 1252) unless QARN_WINE_LANG names another.  Wine hands
# no QT_* variable to a Windows program: the windows are the windows
# platform's, on the virtual display, in the fonts the prefix has.
set -euo pipefail
# QtTest's output to a pipe is lost under wine: a test executable writes
# it to a file, shown afterwards.
unset LC_ALL LC_CTYPE
wine=(env LANG="${QARN_WINE_LANG:-en_US.UTF-8}" WINEDEBUG=-all "${QARN_WINE:-/usr/lib/wine/wine64}")
case "$(basename "$1")" in
    tst_*.exe)
        log="$(mktemp)"
        trap 'rm -f "$log"' EXIT
        status=0
        "${wine[@]}" "$@" -o "Z:${log//\//\\},txt" || status=$?
        cat "$log"
        exit "$status" ;;
    *) exec "${wine[@]}" "$@" ;;
esac
