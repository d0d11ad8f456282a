#!/usr/bin/env bash
# Writes the screenshots of docs/images: the real application under a virtual
# display, driven into each state by teelink-screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/test}
mkdir -p docs/images
TEELINK_EXTRAS=1 scripts/install-deps.sh
cmake --build "$build" --target teelink-screenshots teelink-draw-images
export ASAN_OPTIONS=detect_leaks=0 TEELINK_SCREENSHOTS=docs/images
xvfb-run -a -s "-screen 0 1024x768x24" "$build/tests/teelink-screenshots"
xvfb-run -a -s "-screen 0 1024x768x24" "$build/teelink-draw-images" resources/images
