# shellcheck shell=bash
# Sourced by the Windows scripts. wine_reg_add KEY ARGS...: `reg add ... /f`
# in the current prefix. On a prefix that Wine has only just made, a reg call
# can end with a failure status while Wine is still settling (seen once in CI
# on a fresh machine, silently): it is tried again once the wineserver is idle,
# and a last failure says what Wine printed.
wine_reg_add() {
    local out try
    for try in 1 2 3; do
        if out=$(wine64 reg add "$@" /f 2>&1); then
            return 0
        fi
        echo "wine: reg add $1 failed (try $try): $out" >&2
        wineserver -w || true
    done
    return 1
}
