#!/usr/bin/env bash
# Prints the folder of the cached Qt for Windows of one size that
# scripts/build_windows_qt.sh made (the newest complete one); exit status 1
# when there is none.
#   scripts/windows_qt_prefix.sh x86_64|i686
set -euo pipefail
cache="${XDG_CACHE_HOME:-$HOME/.cache}/qarndiag"
version="$(dpkg-query -W -f='${Version}' qt6-base-dev-tools 2>/dev/null || true)"
found="$(ls -td "$cache/qt-${version%%+*}-$1-"*/.complete 2>/dev/null | head -n 1 || true)"
[ -n "$found" ] || exit 1
dirname "$found"
