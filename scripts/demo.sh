#!/usr/bin/env bash
# The tool's main job on a machine without a real device or update server: starts
# the reference update server with its sample content and one emulated R8 device,
# then the tool; stops both when the tool ends.
set -euo pipefail
build=${1:?usage: demo.sh BUILD_DIR}

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "teelink: no display. Run it in a desktop session, or under a virtual X server:" >&2
    echo "    xvfb-run -a ./run" >&2
    exit 1
fi

bus=${TEELINK_BUS:-/tmp/teelink-hid-bus}
mkdir -p "$bus"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
}
trap cleanup EXIT INT TERM

server="$build/refserver/teelink-update-server"
if [ -x "$server" ]; then
    "$server" --port 8750 --content "$build/refserver/content" &
    pids+=($!)
    # Wait until it listens, so the tool's start-up checks find it.
    for _ in $(seq 1 50); do
        if (exec 3<>/dev/tcp/127.0.0.1/8750) 2>/dev/null; then
            break
        fi
        sleep 0.1
    done
fi

emulator="$build/emulator/teelink-device-emulator"
if [ -x "$emulator" ]; then
    "$emulator" --bus "$bus" --label demo --model R8 --report-interval-us 1000 &
    pids+=($!)
fi

"$build/teelink"
