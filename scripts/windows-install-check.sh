#!/usr/bin/env bash
# The installer under Wine, as a user meets it: a silent install puts the tool
# and its start-menu entry in place; the installed teelink.exe starts, shows
# the language dialog, and after OK asks the reference update server (a POSIX
# process on 127.0.0.1) for the latest versions and the area list, and shows
# the main page with an emulated device (on the bus folder, as Z:) identified;
# Exit ends it; the uninstaller removes it. Screenshots go to build/windows/shots.
# Needs WINEPREFIX and DISPLAY set (scripts/windows.sh does).
set -euo pipefail
setup=${1:?usage: windows-install-check.sh SETUP_EXE}
cd "$(dirname "$0")/.."
root=$(pwd)
shots=build/windows/shots
mkdir -p "$shots"
linux_build=${TEELINK_LINUX_BUILD:-build/test}
if [ ! -x "$linux_build/refserver/teelink-update-server" ]; then
    linux_build=build/release
    [ -f "$linux_build/build.ninja" ] ||
        cmake -S . -B "$linux_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$linux_build" -j "${TEELINK_JOBS:-2}" --target teelink-update-server \
        teelink-device-emulator teelink_sample_content >/dev/null
fi

fail() {
    echo "install check: $*" >&2
    exit 1
}
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
}
trap cleanup EXIT

drive_c="$WINEPREFIX/drive_c"
rm -rf "$drive_c/Teelink"
wine64 "$setup" /S '/D=C:\Teelink'
wineserver -w
[ -f "$drive_c/Teelink/teelink.exe" ] || fail "no teelink.exe after the silent install"
[ -f "$drive_c/Teelink/uninstall.exe" ] || fail "no uninstaller"
for doc in LICENSE.txt THIRD-PARTY-NOTICES.txt; do
    [ -f "$drive_c/Teelink/$doc" ] || fail "no $doc beside the program"
done
find "$drive_c" -path '*Start Menu/Programs/Teelink/Teelink.lnk' | grep -q . ||
    fail "no start-menu entry"

# The reference server on the port the tool's URL names, its request log in a file.
log=$(mktemp)
"$linux_build/refserver/teelink-update-server" --port 8750 \
    --content "$linux_build/refserver/content" >"$log" &
pids+=($!)
bus=/tmp/teelink-hid-bus
mkdir -p "$bus"
"$linux_build/emulator/teelink-device-emulator" --bus "$bus" --transport tcp --label wine \
    --model R8 >/dev/null &
pids+=($!)

wine64 'C:\Teelink\teelink.exe' &
tool=$!
pids+=($tool)

wait_window() { # title pattern, seconds
    local i
    for i in $(seq 1 $(($2 * 4))); do
        if xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; then
            return 0
        fi
        sleep 0.25
    done
    return 1
}
wait_window "Select Language" 60 || fail "the language dialog did not show"
sleep 1
import -window root "$shots/language-dialog.png"
grep -q "md=1" "$log" && fail "the server was asked before a language was chosen"
xdotool key --window "$(xdotool search --onlyvisible --name 'Select Language' | head -1)" Return

for _ in $(seq 1 120); do
    grep -q "md=14" "$log" && break
    sleep 0.25
done
grep -q "md=1[^0-9]" "$log" || grep -q "md=1$" "$log" || fail "no latest-versions request reached the server"
grep -q "md=14" "$log" || fail "no area-list request reached the server"
wait_window "PC Tool" 30 || fail "the main window did not show"
sleep 3
import -window root "$shots/main-page.png"
# Exit: the button at the page's bottom right corner, clicked as a user does;
# the program ends by itself.
window=$(xdotool search --onlyvisible --name "PC Tool" | head -1)
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + WIDTH - 44)) $((Y + HEIGHT - 39)) click 1
for _ in $(seq 1 80); do
    kill -0 "$tool" 2>/dev/null || break
    sleep 0.25
done
kill -0 "$tool" 2>/dev/null && fail "the tool did not end after its window was closed"

wine64 'C:\Teelink\uninstall.exe' /S
wineserver -w
sleep 2
[ -f "$drive_c/Teelink/teelink.exe" ] && fail "the uninstaller left teelink.exe"
for doc in LICENSE.txt THIRD-PARTY-NOTICES.txt; do
    [ -f "$drive_c/Teelink/$doc" ] && fail "the uninstaller left $doc"
done
echo "install check: installed, started, asked the server, ended, uninstalled"
rm -f "$log"
