#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests, the GUI tests, the
# demo and the package checks need. Idempotent: apt-get runs only when a package is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    libgtest-dev libgmock-dev
    libwxgtk3.2-dev libhidapi-dev libcurl4-openssl-dev libzip-dev libcpp-httplib-dev libcli11-dev
    xvfb xauth fonts-noto-cjk
    curl
    desktop-file-utils appstream lintian dpkg-dev
)
# The checks of ./run test beside the test suite: fuzzing needs clang and its
# runtime, the seed corpus python3.
if [ "${TEELINK_CHECKS:-0}" = 1 ]; then
    packages+=(clang libclang-rt-14-dev python3)
fi
# Optional extras: fuzzing (clang) and screenshots/benchmarks.
if [ "${TEELINK_EXTRAS:-0}" = 1 ]; then
    packages+=(clang libclang-rt-14-dev imagemagick xdotool)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ "${#missing[@]}" -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
