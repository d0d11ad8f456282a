#!/usr/bin/env bash
# The package as a golfer installs it: installed with apt, the window tool is
# started with no update server reachable. It shows the language dialog, then
# "Server connection error" in a box titled Error, and ends by itself once the
# box is closed; nothing was asked of the demo's address on this machine. The
# package is removed again afterwards.
#   scripts/check-installed.sh DEB
set -euo pipefail

# shellcheck source=scripts/wait-window.sh
source "$(dirname "${BASH_SOURCE[0]}")/wait-window.sh"

# In the virtual display: the language dialog, the server's error, the end.
if [ "${1:-}" = --in-display ]; then
    /usr/bin/teelink &
    tool=$!
    # Keys as a user types them (GTK takes no keys sent to a window): Tab to OK
    # and press it; the error box's OK has the focus.
    wait_window "Select Language" 60
    xdotool windowfocus --sync "$(xdotool search --onlyvisible --name "Select Language" | head -1)"
    xdotool key Tab space
    wait_window "^Error$" 60
    xdotool windowfocus --sync "$(xdotool search --onlyvisible --name "^Error$" | head -1)"
    xdotool key space
    for _ in $(seq 1 80); do
        kill -0 "$tool" 2>/dev/null || exit 0
        sleep 0.25
    done
    echo "installed check: the tool did not end after the server error" >&2
    exit 1
fi

deb=$(realpath "${1:?usage: check-installed.sh DEB}")
cd "$(dirname "$0")/.."
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get install -y -qq "$deb" >/dev/null
trap '$SUDO apt-get remove -y -qq teelink >/dev/null || true' EXIT

# A listener where the demo's server would be: the installed tool must never
# come to it.
log=$(mktemp)
python3 - "$log" <<'PY' &
import socket, sys
listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", 8750))
listener.listen(8)
while True:
    conn, _ = listener.accept()
    with open(sys.argv[1], "a") as out:
        out.write("connection\n")
    conn.close()
PY
listener=$!
trap 'kill $listener 2>/dev/null || true; $SUDO apt-get remove -y -qq teelink >/dev/null || true' EXIT

xvfb-run -a -s "-screen 0 1024x768x24" "$0" --in-display
if [ -s "$log" ]; then
    echo "installed check: the installed tool asked the demo's address" >&2
    exit 1
fi
rm -f "$log"
echo "installed check: installed, started, no server: its error and the end, removed"
