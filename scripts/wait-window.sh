# shellcheck shell=bash
# Sourced by the installed-tool checks. wait_window PATTERN SECONDS: waits until
# a visible window whose title matches PATTERN is on the display; says which
# one never came and fails otherwise.
wait_window() {
    local _
    for _ in $(seq 1 $(($2 * 4))); do
        if xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; then
            return 0
        fi
        sleep 0.25
    done
    echo "no window \"$1\" within $2 s" >&2
    return 1
}
