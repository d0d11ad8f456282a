#!/usr/bin/env bash
# The release installer under Wine, as a user meets it: a silent install puts
# the tool, its licence and the notices of the libraries inside it and its
# start-menu entry in place; the installed teelink.exe starts, shows the
# language dialog, and after OK asks the maker's update server, which cannot
# be reached from here: "Server connection error" comes, and after OK the tool
# ends by itself. The uninstaller removes everything. Screenshots go to
# build/windows-release/shots.
# Needs WINEPREFIX and DISPLAY set (scripts/windows.sh does).
set -euo pipefail
setup=${1:?usage: windows-install-check.sh SETUP_EXE}
cd "$(dirname "$0")/.."

shots=build/windows-release/shots
mkdir -p "$shots"

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
find "$drive_c" -path '*Start Menu/Programs/Teelink/Teelink.lnk' | grep -q . ||
    fail "no start-menu entry"

for file in LICENSE.txt THIRD-PARTY-NOTICES.txt; do
    [ -f "$drive_c/Teelink/$file" ] || fail "no $file beside the program"
done

wine64 'C:\Teelink\teelink.exe' &
tool=$!
pids+=("$tool")

# shellcheck source=scripts/wait-window.sh
source scripts/wait-window.sh
wait_window "Select Language" 60 || fail "the language dialog did not show"
sleep 1
import -window root "$shots/language-dialog.png"
xdotool key --window "$(xdotool search --onlyvisible --name 'Select Language' | head -1)" Return

# No update server answers here: the start-up check says so and the tool ends.
wait_window "^Error$" 90 || fail "no box came for the unreachable update server"
sleep 1
import -window root "$shots/server-connection-error.png"
xdotool key --window "$(xdotool search --onlyvisible --name '^Error$' | head -1)" Return
for _ in $(seq 1 80); do
    kill -0 "$tool" 2>/dev/null || break
    sleep 0.25
done
kill -0 "$tool" 2>/dev/null && fail "the tool did not end after the server error"

wine64 'C:\Teelink\uninstall.exe' /S
wineserver -w
sleep 2
for file in teelink.exe LICENSE.txt THIRD-PARTY-NOTICES.txt; do
    [ -f "$drive_c/Teelink/$file" ] && fail "the uninstaller left $file"
done
echo "install check: installed, started, no server: its error and the end, uninstalled"
