#!/usr/bin/env bash
# Builds Qt for Windows (Core, Gui, Widgets, Test, the windows platform
# plugin and the styles) from Debian's own qt6-base source package, with the
# mingw-w64 posix-thread compilers, for 64-bit (x86_64) and 32-bit (i686)
# Windows.  Debian's moc, rcc and uic serve as host tools, so the source is
# the version of the installed qt6-base-dev-tools.  Each build is installed
# into a cache outside the repository and reused when it is there:
#   ${XDG_CACHE_HOME:-$HOME/.cache}/qarndiag/qt-<version>-<size>-<options>
#   scripts/build_windows_qt.sh [x86_64|i686|all] (all when not named)
# Prints the install folder of each size on its last lines.  Takes about 25
# minutes a size on two idle cores, over an hour on busy ones (measured:
# i686 26 min, x86_64 74 min beside other builds); needs the packages of
# scripts/setup.sh --tests.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
case "${1:-all}" in
    all) sizes=(x86_64 i686) ;;
    x86_64|i686) sizes=("$1") ;;
    *) echo "usage: $0 [x86_64|i686|all]" >&2; exit 2 ;;
esac

version="$(dpkg-query -W -f='${Version}' qt6-base-dev-tools 2>/dev/null || true)"
[ -n "$version" ] || { echo "qt6-base-dev-tools is missing (scripts/setup.sh installs it)" >&2; exit 1; }
upstream="${version%%+*}"
cache="${XDG_CACHE_HOME:-$HOME/.cache}/qarndiag"

# What the build is made of; a change here makes a new cache folder.
options=(
    -DQT_HOST_PATH=/usr
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DCMAKE_BUILD_TYPE=Release
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    # Debian's source lacks src/3rdparty/wintab, which only tablets use.
    -DFEATURE_tabletevent=OFF
    -DFEATURE_dbus=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
    -DFEATURE_icu=OFF -DFEATURE_vulkan=OFF
    # Both stay on: without OpenGL the windows plugin does not compile, and
    # without Direct2D it does not link (its DirectWrite font database).
    -DFEATURE_opengl=ON -DFEATURE_direct2d=ON
)
tag="$(printf "%s\n" "$version" "${options[@]}" | sha256sum | cut -c1-10)"

source_dir="$cache/src/qt6-base-$version"
if [ ! -f "$source_dir/.complete" ]; then
    # The source package comes through apt: a deb-src entry for the same
    # archive as the machine's own entries, added once.
    if ! apt-get source --print-uris "qt6-base=$version" >/dev/null 2>&1; then
        echo "Adding the deb-src entries of the machine's Debian archive"
        if [ -f /etc/apt/sources.list.d/debian.sources ]; then
            sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
                >/etc/apt/sources.list.d/qarndiag-deb-src.sources
        else
            sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >/etc/apt/sources.list.d/qarndiag-deb-src.list
        fi
        apt-get update -qq
    fi
    rm -rf "$cache/src"
    mkdir -p "$cache/src"
    ( cd "$cache/src" && apt-get source -qq "qt6-base=$version" >/dev/null )
    mv "$cache/src/qtbase-everywhere-src-$upstream" "$source_dir" 2>/dev/null \
        || mv "$cache/src"/qt6-base-"$upstream"* "$source_dir" 2>/dev/null || true
    [ -f "$source_dir/CMakeLists.txt" ] || { echo "the qt6-base source did not unpack as expected in $cache/src" >&2; exit 1; }
    touch "$source_dir/.complete"
fi

for size in "${sizes[@]}"; do
    prefix="$cache/qt-$upstream-$size-$tag"
    if [ -f "$prefix/.complete" ]; then
        echo "Qt $upstream for Windows ($size): $prefix (cached)"
        continue
    fi
    started=$(date +%s)
    build="$cache/build-$size-$tag"
    rm -rf "$build" "$prefix"
    echo "== Building Qt $upstream for Windows ($size) in $build"
    QARN_WINDOWS_ARCH=$size cmake -S "$source_dir" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DQARN_WINDOWS_ARCH="$size" \
        -DCMAKE_INSTALL_PREFIX="$prefix" "${options[@]}" >"$build.configure.log" 2>&1 \
        || { tail -40 "$build.configure.log" >&2; exit 1; }
    nice -n 10 cmake --build "$build" --parallel "$(nproc)" >"$build.log" 2>&1 \
        || { tail -40 "$build.log" >&2; exit 1; }
    cmake --install "$build" >/dev/null
    # Where the source is, for the licence note of the packages.
    printf 'Debian source package qt6-base %s\n' "$version" >"$prefix/SOURCE"
    touch "$prefix/.complete"
    rm -rf "$build"
    echo "Qt $upstream for Windows ($size) built in $(( $(date +%s) - started )) s: $prefix"
done
for size in "${sizes[@]}"; do
    echo "$cache/qt-$upstream-$size-$tag"
done
