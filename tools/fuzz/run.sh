#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build tree for a while, one after the
# other, from the seed corpus and what earlier runs found.
#   tools/fuzz/run.sh BUILD_DIR [SECONDS_PER_TARGET] [TARGET...]
#   TEELINK_FUZZ_RUNS=N tools/fuzz/run.sh BUILD_DIR   N runs of each target instead
set -euo pipefail
build=${1:?usage: run.sh BUILD_DIR [SECONDS] [TARGET...]}
seconds=${2:-180}
shift $(( $# >= 2 ? 2 : 1 ))
here=$(cd "$(dirname "$0")" && pwd)
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
    # The build's own list (tools/fuzz/CMakeLists.txt writes it).
    mapfile -t targets <"$build/fuzz/targets.txt"
fi
corpus="$build/fuzz/corpus"
python3 "$here/make_seeds.py" "$corpus"
status=0
for target in "${targets[@]}"; do
    exe="$build/fuzz/$target"
    [ -x "$exe" ] || { echo "run.sh: no $exe (build the 'fuzz' target)" >&2; exit 1; }
    # The list body reaches 65536 bytes; archives need room for a few entries.
    case $target in
        fuzz_item_list) max_len=70000 ;;
        fuzz_package_reader) max_len=65536 ;;
        *) max_len=4096 ;;
    esac
    mkdir -p "$build/fuzz/artifacts"
    limit=(-max_total_time="$seconds")
    if [ -n "${TEELINK_FUZZ_RUNS:-}" ]; then
        limit=(-runs="$TEELINK_FUZZ_RUNS")
    fi
    echo "== $target (${limit[*]})"
    "$exe" "$corpus/$target" "${limit[@]}" -max_len="$max_len" \
        -dict="$here/framing.dict" \
        -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/fuzz/artifacts/$target-" || status=1
done
exit $status
