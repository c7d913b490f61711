#!/usr/bin/env bash
# Configures the Windows build of one size with the cached Qt for Windows
# and the mingw-w64 posix-thread compilers, warnings as errors; more cmake
# arguments may follow.  Exit status 77 when that Qt is not built yet.
#   scripts/configure_windows.sh x86_64|i686 <build folder> [cmake arguments]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
size="$1" build="$2"
shift 2
qt="$("$root/scripts/windows_qt_prefix.sh" "$size")" || exit 77
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
mkdir -p "$build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DQARN_WINDOWS_ARCH="$size" \
    -DQARN_WERROR=ON "${launcher[@]}" "$@" >"$build/configure.log" 2>&1 \
    || { tail -30 "$build/configure.log" >&2; exit 1; }
