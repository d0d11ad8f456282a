# shellcheck shell=bash
# Sourced by the Windows scripts: Wine in a prefix of its own outside the work
# tree (no Mono or Gecko prompts, quiet, CJK fonts linked), and one Xvfb display
# for every window it shows. Sets wine_display_pid; stop_wine_env ends both.
cache=${TEELINK_WINDOWS_CACHE:-$HOME/.cache/teelink-windows}
export PATH="/usr/lib/wine:$PATH"
export WINEPREFIX="$cache/wine"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
export WINEARCH=win64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$cache"
    wine64 wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
fi
# shellcheck source=scripts/wine-reg.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine-reg.sh"
"$(dirname "${BASH_SOURCE[0]}")/wine-fonts.sh"
# A program that crashes ends at once instead of waiting in Wine's debugger.
wine_reg_add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d ""
# The registry was written without our display. A program started while that
# wineserver lingers (a few seconds) joins its session, whose desktop has no
# display: creating any window fails there ("Invalid window handle").
wineserver -w || true

wine_display=:$((90 + RANDOM % 9))
Xvfb "$wine_display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
wine_display_pid=$!
export DISPLAY=$wine_display
# Ready once it listens on its socket.
for _ in $(seq 100); do
    [ -S "/tmp/.X11-unix/X${wine_display#:}" ] && break
    sleep 0.1
done
stop_wine_env() {
    wineserver -k 2>/dev/null || true
    kill "$wine_display_pid" 2>/dev/null || true
}
