#!/usr/bin/env bash
# The format and lint gate: every C++ source follows .clang-format, every shell
# script passes shellcheck. Lists what differs and fails; `scripts/lint.sh --fix`
# reformats the sources instead.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
mapfile -t shells < <(git ls-files '*.sh' '*.bash-completion' run .ci/run)
if [ "${1:-}" = --fix ]; then
    clang-format -i "${sources[@]}"
    exit 0
fi
status=0
if ! clang-format --dry-run --Werror "${sources[@]}"; then
    echo "lint: these sources differ from .clang-format (scripts/lint.sh --fix reformats them)" >&2
    status=1
fi
if ! shellcheck -x "${shells[@]}"; then
    status=1
fi
[ "$status" = 0 ] && echo "lint: ${#sources[@]} sources formatted, ${#shells[@]} scripts clean"
exit "$status"
