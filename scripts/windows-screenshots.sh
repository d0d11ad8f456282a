#!/usr/bin/env bash
# Screenshots of the Windows build under Wine for docs/images (windows-*.png):
# the real application driven into each state by teelink-screenshots.exe.
# Run after ./run windows.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/windows
source scripts/wine-env.sh
trap stop_wine_env EXIT
cmake --build "$build" --target teelink-screenshots
shots=$build/shots
mkdir -p "$shots"
TEELINK_SCREENSHOTS=$shots wine64 "$build/tests/teelink-screenshots.exe"
cp "$shots/main-connected-en.png" docs/images/windows-main-page.png
cp "$shots/update-writing.png" docs/images/windows-update-page.png
cp "$shots/main-connected-ja.png" docs/images/windows-main-page-ja.png
echo "docs/images/windows-*.png written"
