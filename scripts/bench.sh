#!/usr/bin/env bash
# Runs every benchmark (teelink-bench-*) of a build tree, one after the other so
# that they do not disturb one another, then gathers every ratio that has a goal
# into one summary. Use an optimised tree (./run bench).
set -euo pipefail
build=${1:?usage: bench.sh BUILD_DIR}
dir="$build/bench"
shopt -s nullglob
benches=("$dir"/teelink-bench-*)
if [ "${#benches[@]}" -eq 0 ]; then
    echo "bench.sh: no teelink-bench-* executables in $dir" >&2
    exit 1
fi
log=$(mktemp)
out=$(mktemp)
trap 'rm -f "$log" "$out"' EXIT
status=0
for bench in "${benches[@]}"; do
    [ -x "$bench" ] || continue
    name=$(basename "$bench")
    echo "== $name"
    if ! "$bench" | tee "$out"; then
        status=1
    fi
    sed "s/^/${name#teelink-bench-}: /" "$out" >>"$log"
    echo
done
echo "== ratios and their goals, this run"
grep "goal" "$log" | sed 's/^\([a-z]*\): */  \1: /' || echo "  (none printed)"
if grep -q "NOT MET" "$log"; then
    echo "  some goals were not met in this run (the machine may have been busy: run again)"
fi
exit $status
