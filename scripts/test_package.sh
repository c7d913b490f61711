#!/usr/bin/env bash
# Builds the Debian packages of a build folder and checks them as installed:
# the packages made, their relations, every file in its place, the menu
# entry and metadata valid, the lower-case command and its manual page, and
# the installed program finding the installed reader library through the
# default library search path: the stand-in, in its window and on the
# command line, and the library on pcsc-lite where the build has it, in a
# root of its own; then what `cmake --install` installs for each choice of
# QARN_INSTALL_READER_LIBRARY.
#
#   scripts/test_package.sh <build-folder>
#
# The build folder must be built already.  Exits 0 when everything holds,
# 77 (skipped) for a sanitized build, which is never packaged, and 1 with a
# message on the first failure.
set -u

if [ $# -ne 1 ] || [ ! -f "$1/CMakeCache.txt" ]; then
    echo "usage: $0 <configured and built build folder>" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
packages=$build/packages
startup_seconds=30

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

cache_value() {
    sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt" | head -n 1
}

sanitize=$(cache_value QARN_SANITIZE)
case "$sanitize" in
    ON|on|On|TRUE|true|1|YES|yes)
        echo "skipped: $build is built with sanitizers; such builds are not packaged"
        exit 77
        ;;
esac

for tool in dpkg dpkg-deb dpkg-architecture desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool is not installed (scripts/setup.sh --tests installs it)"
done
cpack=$(cache_value CMAKE_CPACK_COMMAND)
[ -x "$cpack" ] || cpack=$(command -v cpack) || fail "cpack is not installed"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH) || fail "dpkg-architecture does not know the multiarch name"

work=$(mktemp -d)
app_pid=
cleanup() {
    if [ -n "$app_pid" ]; then
        kill -KILL "$app_pid" 2>/dev/null
        wait "$app_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# 1. The packages, freshly made.
rm -f "$packages"/*.deb
if ! (cd "$build" && "$cpack" -G DEB --config CPackConfig.cmake) >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    fail "cpack -G DEB in $build"
fi
find_deb() {
    local found
    found=$(find "$packages" -maxdepth 1 -name "$1_*.deb" -print)
    [ -n "$found" ] || fail "cpack made no package $1 in $packages"
    [ "$(echo "$found" | wc -l)" -eq 1 ] || fail "more than one package $1 in $packages"
    echo "$found"
}
app_deb=$(find_deb qarndiag) || exit 1
reader_deb=$(find_deb qarndiag-standin-reader) || exit 1
pcsc_deb=
if [ -f "$build/pcsc/libnorvane.so" ]; then
    pcsc_deb=$(find_deb qarndiag-pcsc-reader) || exit 1
fi
echo "packages: $(basename "$app_deb") $(basename "$reader_deb") ${pcsc_deb:+$(basename "$pcsc_deb")}"

# 2. The program recommends a reader library and depends on none, so that
# a maker's library can take the stand-in's place.
field() { dpkg-deb -f "$1" "$2"; }
[ "$(field "$app_deb" Package)" = qarndiag ] || fail "$app_deb is not the package qarndiag"
[ "$(field "$reader_deb" Package)" = qarndiag-standin-reader ] ||
    fail "$reader_deb is not the package qarndiag-standin-reader"
field "$app_deb" Recommends | grep -q 'qarndiag-standin-reader' ||
    fail "qarndiag does not recommend qarndiag-standin-reader"
if field "$app_deb" Depends | grep -q -e 'standin' -e 'norvane'; then
    fail "qarndiag depends on a reader library instead of recommending one"
fi
field "$app_deb" Depends | grep -q 'libqt6widgets6' ||
    fail "qarndiag does not depend on the Qt 6 widgets library"
[ "$(field "$app_deb" Maintainer)" = "QarnDiag developers <dev@qarndiag.invalid>" ] ||
    fail "qarndiag has the maintainer '$(field "$app_deb" Maintainer)'"
[ "$(field "$app_deb" Section)" = utils ] || fail "qarndiag is not in the section utils"
if dpkg-deb -c "$app_deb" | grep -q 'libnorvane'; then
    fail "qarndiag holds a reader library itself"
fi
# Each reader library provides the virtual package and conflicts with every
# other that does; the one on pcsc-lite depends on pcsc-lite's client
# library and recommends its daemon.
for deb in "$reader_deb" $pcsc_deb; do
    [ "$(field "$deb" Provides)" = norvane-reader-library ] ||
        fail "$(basename "$deb") does not provide norvane-reader-library"
    [ "$(field "$deb" Conflicts)" = norvane-reader-library ] ||
        fail "$(basename "$deb") does not conflict with norvane-reader-library"
done
if [ -n "$pcsc_deb" ]; then
    [ "$(field "$pcsc_deb" Package)" = qarndiag-pcsc-reader ] ||
        fail "$pcsc_deb is not the package qarndiag-pcsc-reader"
    field "$app_deb" Recommends | grep -q 'qarndiag-pcsc-reader' ||
        fail "qarndiag does not name qarndiag-pcsc-reader among its reader libraries"
    field "$pcsc_deb" Depends | grep -q 'libpcsclite1' ||
        fail "qarndiag-pcsc-reader does not depend on libpcsclite1"
    [ "$(field "$pcsc_deb" Recommends)" = pcscd ] || fail "qarndiag-pcsc-reader does not recommend pcscd"
fi

# 3. Every file in its place.
root=$work/root
dpkg -x "$app_deb" "$root" || fail "dpkg -x $app_deb"
dpkg -x "$reader_deb" "$root" || fail "dpkg -x $reader_deb"
program=$root/usr/bin/QarnDiag
library_dir=$root/usr/lib/$multiarch
[ -x "$program" ] || fail "no program usr/bin/QarnDiag"
[ "$(readlink "$root/usr/bin/qarndiag")" = QarnDiag ] ||
    fail "usr/bin/qarndiag is not a symbolic link to QarnDiag"
manpage=$root/usr/share/man/man1/qarndiag.1
[ -f "$manpage" ] || fail "no manual page usr/share/man/man1/qarndiag.1"
# Debian policy: each package's copyright file in /usr/share/doc/<package>;
# the README beside the program's, where the manual page points.
for deb in "$app_deb" "$reader_deb" $pcsc_deb; do
    package=$(field "$deb" Package)
    dpkg-deb -c "$deb" | grep -q " \./usr/share/doc/$package/copyright\$" ||
        fail "$package has no usr/share/doc/$package/copyright"
done
grep -q '^License: MIT' "$root/usr/share/doc/qarndiag/copyright" ||
    fail "usr/share/doc/qarndiag/copyright names no licence"
[ -s "$root/usr/share/doc/qarndiag/README.md" ] || fail "no usr/share/doc/qarndiag/README.md"
grep -q 'usr/share/doc/qarndiag/README.md' "$manpage" ||
    fail "the manual page does not point to usr/share/doc/qarndiag/README.md"
# The check every minute for node_exporter: the service, its timer (not
# enabled by the package: nothing under etc/), the service's user and its
# right to write the textfile folder, made by the package's postinst.
for file in lib/systemd/system/qarndiag-textfile.service lib/systemd/system/qarndiag-textfile.timer \
    lib/sysusers.d/qarndiag.conf lib/tmpfiles.d/qarndiag.conf \
    share/doc/qarndiag/command-line.md share/doc/qarndiag/monitoring.md; do
    [ -s "$root/usr/$file" ] || fail "no usr/$file"
done
[ ! -e "$root/etc" ] || fail "qarndiag installs into etc/: $(find "$root/etc" -type f -o -type l)"
grep -q '^u qarndiag ' "$root/usr/lib/sysusers.d/qarndiag.conf" || fail "sysusers.d/qarndiag.conf makes no user qarndiag"
dpkg-deb --ctrl-tarfile "$app_deb" | tar -t | grep -qx './postinst' || fail "qarndiag has no postinst"
dpkg-deb -I "$app_deb" postinst | grep -q 'systemd-sysusers qarndiag.conf' ||
    fail "qarndiag's postinst does not create the user qarndiag"
[ -f "$library_dir/libnorvane.so" ] || fail "no reader library usr/lib/$multiarch/libnorvane.so"
[ ! -e "$root/usr/bin/libnorvane.so" ] || fail "a reader library lies beside the program"
desktop=$(find "$root/usr/share/applications" -name '*.desktop' 2>/dev/null | head -n 1)
[ -n "$desktop" ] || fail "no menu entry in usr/share/applications"
metainfo=$(find "$root/usr/share/metainfo" -name '*.xml' 2>/dev/null | head -n 1)
[ -n "$metainfo" ] || fail "no AppStream metadata in usr/share/metainfo"
for size in 16 32 48 64 128 256; do
    icons=$(find "$root/usr/share/icons/hicolor/${size}x${size}/apps" -name '*.png' 2>/dev/null)
    [ -n "$icons" ] || fail "no ${size}x${size} icon in usr/share/icons/hicolor"
done

# 4. The installed menu entry and metadata pass their validators, together
# with the icons installed beside them.
out=$(desktop-file-validate "$desktop" 2>&1)
status=$?
if [ $status -ne 0 ] || echo "$out" | grep -q -e ': error:' -e ': warning:'; then
    echo "$out" >&2
    fail "desktop-file-validate $desktop"
fi
appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 ||
    { cat "$work/appstream.log" >&2; fail "appstreamcli validate $metainfo"; }
appstreamcli validate-tree --no-net "$root/usr" >"$work/appstream-tree.log" 2>&1 ||
    { cat "$work/appstream-tree.log" >&2; fail "appstreamcli validate-tree on the installed files"; }

# 4b. The manual page renders without a warning.
if command -v man >/dev/null 2>&1; then
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$manpage" 2>&1 >/dev/null)
elif command -v groff >/dev/null 2>&1; then
    warnings=$(groff -man -Tutf8 -ww -z "$manpage" 2>&1)
else
    fail "neither man nor groff is installed (scripts/setup.sh --tests installs groff-base)"
fi
[ -z "$warnings" ] || { echo "$warnings" >&2; fail "the manual page renders with warnings"; }

# 5. The installed program starts and its start-up check finds the installed
# reader library.  /usr/bin holds no reader library, so it is found through
# the loader's search path, which here is LD_LIBRARY_PATH standing in for
# /usr/lib/<multiarch>.  Settings go to a folder of their own.
mkdir -p "$work/config" "$work/runtime"
chmod 700 "$work/runtime"

# check_installed_program <program> <library folder>
check_installed_program() {
    local program="$1" library_dir="$2" log done_line mapped status
    log=$work/program.log
    env -u NORVSIM_SCENARIO \
        QT_QPA_PLATFORM=offscreen \
        LD_LIBRARY_PATH="$library_dir" \
        QT_LOGGING_RULES="qarndiag.startup.debug=true" \
        QT_MESSAGE_PATTERN="%{category}: %{message}" \
        XDG_CONFIG_HOME="$work/config" \
        XDG_CONFIG_DIRS="$work/config" \
        XDG_RUNTIME_DIR="$work/runtime" \
        "$program" >"$log" 2>&1 &
    app_pid=$!

    done_line=
    for _ in $(seq $((startup_seconds * 10))); do
        done_line=$(grep -m 1 'startup check done' "$log")
        [ -n "$done_line" ] && break
        if ! kill -0 "$app_pid" 2>/dev/null; then
            wait "$app_pid"
            status=$?
            app_pid=
            cat "$log" >&2
            fail "the installed program ended (status $status) before its start-up check"
        fi
        sleep 0.1
    done
    if [ -z "$done_line" ]; then
        cat "$log" >&2
        fail "no start-up check within $startup_seconds s"
    fi
    if ! echo "$done_line" | grep -q 'startup check done 0$'; then
        cat "$log" >&2
        fail "the start-up check did not find the reader library: '$done_line'"
    fi
    # The library the program holds is the installed one, not one from elsewhere.
    mapped=$(grep -o '/[^ ]*libnorvane\.so' "/proc/$app_pid/maps" | sort -u)
    [ "$mapped" = "$library_dir/libnorvane.so" ] ||
        fail "the program holds '${mapped:-no reader library}', not $library_dir/libnorvane.so"

    kill -TERM "$app_pid"
    wait "$app_pid" 2>/dev/null
    app_pid=
    echo "installed program: $done_line, reader library $mapped"
}

check_installed_program "$program" "$library_dir"

# 6. The lower-case command runs the check without a display and finds the
# same library.
check=$(env -u NORVSIM_SCENARIO -u DISPLAY -u QT_QPA_PLATFORM \
    LD_LIBRARY_PATH="$library_dir" XDG_CONFIG_HOME="$work/config" \
    "$root/usr/bin/qarndiag" --check --device auto 2>&1)
status=$?
[ $status -eq 0 ] || { echo "$check" >&2; fail "qarndiag --check ended with status $status"; }
echo "$check" | grep -q "^Norvane library location : $library_dir/libnorvane.so$" ||
    { echo "$check" >&2; fail "qarndiag --check did not report the installed library"; }
echo "installed command: qarndiag --check passed"

# 7. The same with the library on pcsc-lite in a root of its own (the two
# libraries install the same file): the program loads it, and its start-up
# check, which asks for the library's version, passes without a pcscd.
if [ -n "$pcsc_deb" ]; then
    pcsc_root=$work/pcsc-root
    dpkg -x "$app_deb" "$pcsc_root" || fail "dpkg -x $app_deb"
    dpkg -x "$pcsc_deb" "$pcsc_root" || fail "dpkg -x $pcsc_deb"
    [ -f "$pcsc_root/usr/lib/$multiarch/libnorvane.so" ] ||
        fail "qarndiag-pcsc-reader has no usr/lib/$multiarch/libnorvane.so"
    check_installed_program "$pcsc_root/usr/bin/QarnDiag" "$pcsc_root/usr/lib/$multiarch"
fi
# 8. cmake --install puts in place as lib/<multiarch>/libnorvane.so the
# reader library named by QARN_INSTALL_READER_LIBRARY, and the other one only
# when its component is asked for.  The build is configured for each choice
# in turn (no rebuild: only the install rules change), then set back.
# reader_library_text <choice>: a text found only in that library
reader_library_text() {
    case "$1" in
        standin) echo "Norvane API stand-in" ;;
        pcsc) echo "Norvane reader library for PC/SC" ;;
    esac
}
# installed_reader_library <prefix>: the choice whose library lies there
installed_reader_library() {
    local library="$1/lib/$multiarch/libnorvane.so" choice
    for choice in standin pcsc; do
        grep -a -q "$(reader_library_text $choice)" "$library" 2>/dev/null && { echo "$choice"; return; }
    done
    echo "${library#"$1"/} missing"
}
cmake=$(cache_value CMAKE_COMMAND)
first_choice=$(cache_value QARN_INSTALL_READER_LIBRARY)
reconfigure() {
    "$cmake" -DQARN_INSTALL_READER_LIBRARY="$1" "$build" >"$work/configure.log" 2>&1 ||
        { cat "$work/configure.log" >&2; fail "configuring $build with QARN_INSTALL_READER_LIBRARY=$1"; }
}
trap '"$cmake" -DQARN_INSTALL_READER_LIBRARY="$first_choice" "$build" >/dev/null 2>&1; cleanup' EXIT
choices="standin${pcsc_deb:+ pcsc}"
for choice in $choices; do
    reconfigure "$choice"
    prefix=$work/install-$choice
    "$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
        { cat "$work/install.log" >&2; fail "cmake --install $build with $choice chosen"; }
    [ -x "$prefix/bin/QarnDiag" ] || fail "cmake --install with $choice chosen: no bin/QarnDiag"
    found=$(installed_reader_library "$prefix")
    [ "$found" = "$choice" ] || fail "cmake --install with $choice chosen installed: $found"
    for other in $choices; do
        [ "$other" = "$choice" ] && continue
        "$cmake" --install "$build" --prefix "$work/component-$other" --component "$other" \
            >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; fail "cmake --install --component $other"; }
        found=$(installed_reader_library "$work/component-$other")
        [ "$found" = "$other" ] || fail "cmake --install --component $other installed: $found"
    done
    echo "cmake --install with QARN_INSTALL_READER_LIBRARY=$choice: lib/$multiarch/libnorvane.so is $choice"
done
reconfigure "$first_choice"
echo "package: ok"
