#!/usr/bin/env bash
# The Windows build: cross-compiles teelink.exe and teelink-cli.exe with
# mingw-w64 against libraries built from Debian's sources (scripts/windows-deps.sh),
# runs the tests under Wine with one Xvfb display, checks that every exe imports
# only Windows' own DLLs, builds the installer with NSIS and tries it under Wine.
#   build/windows/teelink-setup.exe   the installer
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${TEELINK_JOBS:-2}
build=build/windows
cache=${TEELINK_WINDOWS_CACHE:-$HOME/.cache/teelink-windows}

TEELINK_WINDOWS=1 scripts/install-deps.sh
prefix=$(scripts/windows-deps.sh | tail -1)
echo "libraries: $prefix"

# Wine: its own prefix outside the work tree, no Mono or Gecko prompts, quiet.
export PATH="/usr/lib/wine:$PATH"
export WINEPREFIX="$cache/wine"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
export WINEARCH=win64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wine64 wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
fi
scripts/wine-fonts.sh

# One X server for every GUI test and the installer check.
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
    kill "$xvfb" 2>/dev/null || true
    wineserver -k 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$display

if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DTEELINK_WINDOWS_PREFIX="$prefix" \
        -DTEELINK_EMULATOR_BUS="Z:/tmp/teelink-hid-bus" -DTEELINK_WERROR=ON
fi
cmake --build "$build" -j "$jobs"

scripts/check-imports.sh "$build"/*.exe "$build"/cli/*.exe "$build"/tests/*.exe

(cd "$build" && ctest --output-on-failure -j "$jobs" --timeout 300)

version=$(sed -n 's/^set(TEELINK_PRODUCT_VERSION "\([^"]*\)".*/\1/p' CMakeLists.txt)
makensis -V2 -DVERSION="$version" -DBUILD_DIR="$root/$build" -DSOURCE_DIR="$root" \
    -DOUT_FILE="$root/$build/teelink-setup.exe" packaging/windows/teelink.nsi
scripts/windows-install-check.sh "$root/$build/teelink-setup.exe"
echo "Installer: $build/teelink-setup.exe"
