#!/usr/bin/env bash
# Runs one Windows program of the cross build under wine: the emulator of
# the Windows build's ctest (CMAKE_CROSSCOMPILING_EMULATOR).  The wine
# prefix, the display and WINEPATH (Qt for Windows and the mingw-w64
# run-time) come from scripts/windows_tests.sh; the locale is en_US.UTF-8
# (ANSI code page 1252) unless QARN_WINE_LANG names another.
set -euo pipefail
unset LC_ALL LC_CTYPE
export LANG="${QARN_WINE_LANG:-en_US.UTF-8}" WINEDEBUG=-all
exec "${QARN_WINE:-/usr/lib/wine/wine64}" "$@"
