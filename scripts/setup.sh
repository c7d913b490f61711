#!/usr/bin/env bash
# Installs what QarnDiag needs on Debian 12.  Idempotent and quick when
# everything is there already.
#   scripts/setup.sh           what building and running needs (scripts/run.sh)
#   scripts/setup.sh --tests   that, and what the tests and checks need
#                              (scripts/test.sh)
set -euo pipefail

# Building the program and the two reader libraries, and starting it, with
# or without a display (Xvfb, xdotool and import make the screenshot).
run_packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev
    libudev-dev nlohmann-json3-dev libpcsclite-dev
    xvfb xdotool imagemagick fonts-liberation fonts-dejavu-core
)
# The tests, the fuzzer, the package check, the Windows builds (Qt for
# Windows too, from Debian's qt6-base source, with the posix-thread
# compilers) and their run under wine (wine32 for the 32-bit build,
# fonts-wine for the window's fonts), the PC/SC tests on a private pcscd,
# the USB tests in a private udev world (umockdev), valgrind, the throw-away
# root of scripts/fresh_machine.sh, and the monitoring engines that the
# monitoring tests run on loopback (promtool, node_exporter) with the unit
# checker systemd-analyze.
test_packages=(
    xauth x11-apps
    clang libclang-rt-14-dev clang-format
    desktop-file-utils appstream dpkg-dev file groff-base
    valgrind
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 wine32:i386 fonts-wine
    pcscd vsmartcard-vpcd pcsc-tools
    umockdev libumockdev-dev gir1.2-umockdev-1.0
    debootstrap
    prometheus prometheus-node-exporter systemd curl
)
# Packages whose system services the tests never want: they run their own
# instances on free loopback ports.
quiet_services=(prometheus prometheus-node-exporter)

packages=("${run_packages[@]}")
case "${1:-}" in
    '') ;;
    --tests) packages+=("${test_packages[@]}") ;;
    *) echo "usage: $0 [--tests]" >&2; exit 2 ;;
esac

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    # wine32 runs the 32-bit Windows build: it comes from the i386 side of
    # the archive.
    if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${sudo_cmd[@]}" dpkg --add-architecture i386
    fi
    "${sudo_cmd[@]}" apt-get update -qq
    # invoke-rc.d and deb-systemd-invoke ask policy-rc.d before they start a
    # service from a package's scripts: 101 refuses.  An existing policy is
    # left as it is; ours goes again however the install ends.
    policy=/usr/sbin/policy-rc.d
    own_policy=
    if [ ! -e "$policy" ]; then
        printf '#!/bin/sh\n# QarnDiag setup: no service starts while packages install.\nexit 101\n' |
            "${sudo_cmd[@]}" tee "$policy" >/dev/null
        "${sudo_cmd[@]}" chmod 755 "$policy"
        own_policy=$policy
        trap '"${sudo_cmd[@]}" rm -f "$own_policy"' EXIT
    fi
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
    if [ -n "$own_policy" ]; then
        "${sudo_cmd[@]}" rm -f "$own_policy"
        trap - EXIT
    fi
fi

# Stop whatever of those services runs anyway (installed before, or started
# by a policy that allowed it), and keep them from starting at boot.
if [ "${1:-}" = --tests ]; then
    for service in "${quiet_services[@]}"; do
        if [ -d /run/systemd/system ]; then
            "${sudo_cmd[@]}" systemctl disable --now "$service" >/dev/null 2>&1 || true
        elif [ -x "/etc/init.d/$service" ]; then
            "${sudo_cmd[@]}" "/etc/init.d/$service" stop >/dev/null 2>&1 || true
        fi
    done
fi
