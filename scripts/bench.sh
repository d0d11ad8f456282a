#!/usr/bin/env bash
# Runs every benchmark (teelink-bench-*) of a build tree, one after the other so
# that they do not disturb one another. Use an optimised tree (./run bench).
set -euo pipefail
build=${1:?usage: bench.sh BUILD_DIR}
dir="$build/bench"
shopt -s nullglob
benches=("$dir"/teelink-bench-*)
if [ "${#benches[@]}" -eq 0 ]; then
    echo "bench.sh: no teelink-bench-* executables in $dir" >&2
    exit 1
fi
status=0
for bench in "${benches[@]}"; do
    [ -x "$bench" ] || continue
    echo "== $(basename "$bench")"
    "$bench" || status=1
    echo
done
exit $status
