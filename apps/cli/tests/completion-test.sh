#!/usr/bin/env bash
# The bash completion of teelink-cli, as bash runs it when the user presses Tab:
# commands, subcommands, each command's options, the languages.
#   completion-test.sh COMPLETION_FILE DIRECTORY_OF_TEELINK_CLI
set -euo pipefail
completion=${1:?usage: completion-test.sh COMPLETION_FILE CLI_DIR}
PATH="${2:?}:$PATH"
# shellcheck source=packaging/linux/teelink-cli.bash-completion
source "$completion"

failed=0
expect() { # "line being typed" expected words...
    local line=$1
    shift
    read -r -a COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _teelink_cli
    local got=" ${COMPREPLY[*]} "
    for word in "$@"; do
        if [[ $got != *" $word "* ]]; then
            echo "FAIL: '$line' did not offer $word (offered:$got)"
            failed=1
        fi
    done
}

expect "teelink-cli " devices info update save-log history doctor help
expect "teelink-cli up" update
expect "teelink-cli update " course system
expect "teelink-cli update course --" --area --verify --json --server --language
expect "teelink-cli update system --" --yes --verify --json
expect "teelink-cli save-log round.trv --" --force --quiet
expect "teelink-cli --language " 0 1 2 3 4
expect "teelink-cli --json info --" --device --server --proxy --no-proxy
expect "teelink-cli help " devices save-log history doctor
[ "$failed" = 0 ] && echo "completion: every case offered what it should"
exit "$failed"
