#!/usr/bin/env bash
# Installs what building, running and testing QarnDiag needs on Debian 12.
# Idempotent and quick when everything is there already.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev
    libudev-dev nlohmann-json3-dev
    xvfb xauth x11-apps xdotool imagemagick fonts-liberation fonts-dejavu-core
    clang libclang-rt-14-dev
    desktop-file-utils appstream dpkg-dev file
    valgrind
    g++-mingw-w64-x86-64
    pcscd vsmartcard-vpcd pcsc-tools libpcsclite-dev
    groff-base
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo_cmd=(sudo)
    fi
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
fi
