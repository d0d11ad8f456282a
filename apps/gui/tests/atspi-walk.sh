#!/usr/bin/env bash
# The tool read from outside as a screen reader reads it (atspi_walk.py), on a
# virtual display with a D-Bus session and an accessibility bus of its own.
# The test build's tool has a fixed server port and bus directory: where the
# kernel allows user namespaces the run gets a private network and /tmp, so
# that it meets no demo or other run; otherwise it uses the machine's, and a
# port already taken fails the run.
#   atspi-walk.sh BUILD_DIR BUS_DIR PORT
set -euo pipefail
build=$(cd "${1:?usage: atspi-walk.sh BUILD_DIR BUS_DIR PORT}" && pwd)
bus=${2:?usage: atspi-walk.sh BUILD_DIR BUS_DIR PORT}
port=${3:?usage: atspi-walk.sh BUILD_DIR BUS_DIR PORT}
here=$(cd "$(dirname "$0")" && pwd)

if [ "${TEELINK_WALK_INSIDE:-}" = "" ] && unshare --user --map-root-user --net --mount true 2>/dev/null; then
    exec env TEELINK_WALK_INSIDE=namespace unshare --user --map-root-user --net --mount "$0" "$@"
fi
if [ "${TEELINK_WALK_INSIDE:-}" = namespace ]; then
    ip link set lo up
    mount -t tmpfs tmpfs /tmp
fi

exec xvfb-run -a -s "-screen 0 1024x768x24" \
    dbus-run-session -- /usr/bin/python3 "$here/atspi_walk.py" "$build" "$bus" "$port"
