#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests, the GUI tests, the
# demo and the package checks need. Idempotent: apt-get runs only when a package is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    libgtest-dev libgmock-dev
    libwxgtk3.2-dev libgtk-3-dev libhidapi-dev libcurl4-openssl-dev libssl-dev libzip-dev libmicrohttpd-dev libcli11-dev
    xvfb xauth fonts-noto-cjk
    curl
    libglib2.0-dev glib-networking gsettings-desktop-schemas tinyproxy
    desktop-file-utils appstream lintian dpkg-dev xdotool python3
    at-spi2-core gir1.2-atspi-2.0 python3-gi dbus-daemon iproute2
)
# The checks of ./run test beside the test suite: fuzzing needs clang and its
# runtime, the seed corpus python3; the format and lint gate needs
# clang-format and the shell scripts' checker.
if [ "${TEELINK_CHECKS:-0}" = 1 ]; then
    packages+=(clang libclang-rt-14-dev python3 clang-format shellcheck)
fi
# Optional extras: fuzzing (clang) and screenshots/benchmarks.
if [ "${TEELINK_EXTRAS:-0}" = 1 ]; then
    packages+=(clang libclang-rt-14-dev imagemagick xdotool)
fi

# The Windows build: the mingw-w64 cross compiler (posix threads), Wine for its
# tests, NSIS for its installer, zlib for mingw, and dpkg-dev for fetching the
# other libraries' Debian sources.
if [ "${TEELINK_WINDOWS:-0}" = 1 ]; then
    packages+=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
               wine64 nsis libz-mingw-w64-dev dpkg-dev xvfb xauth xdotool imagemagick fonts-noto-cjk)
fi

# The kernel test (./run kernel-test): QEMU boots Debian's own kernel with an
# initramfs of busybox (packed by cpio, modules ordered by kmod's depmod); udev
# gives the guest udevadm for the rule's check. The kernel package is fetched
# with apt-get download and unpacked into a cache, never installed here.
if [ "${TEELINK_KERNEL:-0}" = 1 ]; then
    packages+=(qemu-system-x86 busybox-static cpio kmod udev xvfb xauth xdotool)
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
