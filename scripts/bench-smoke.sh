#!/usr/bin/env bash
# One short run of every benchmark at its smallest size. Nobody reads its
# figures: it fails when a benchmark stops giving them, by an error it
# reports ("ERROR OCCURRED") or a non-zero exit. The figures come from runs
# by hand (README.md, Development).
set -euo pipefail
cd "$(dirname "$0")/.."
if ! { cmake --preset bench && cmake --build --preset bench -j"$(nproc)"; } >build/bench.log 2>&1; then
    cat build/bench.log
    echo "== build of preset bench failed" >&2
    exit 1
fi
programs=$(find build/bench/bench -maxdepth 1 -type f -executable -name '*_bench' | sort)
if [ -z "$programs" ]; then
    echo "== no benchmark programs in build/bench/bench" >&2
    exit 1
fi
for program in $programs; do
    # Each benchmark lists its sizes smallest first: keep its first name.
    filter=$("$program" --benchmark_list_tests | awk -F/ '!seen[$1]++' | paste -sd'|')
    log="$program.smoke.log"
    if ! "$program" --benchmark_filter="^($filter)\$" --benchmark_min_time=0.01 >"$log" 2>&1 ||
        grep -q "ERROR OCCURRED" "$log"; then
        cat "$log"
        echo "== $program gave no figures" >&2
        exit 1
    fi
    echo "$program: $(($(tr -cd '|' <<<"$filter" | wc -c) + 1)) benchmarks, each once"
done
