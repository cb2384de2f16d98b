#!/bin/sh
# Prints the performance figures of the README's table: the least and the median of five runs.
# Usage: bench/figures.sh [BUILD_DIR]   (default build-bench, made by `cmake --workflow --preset bench`)
set -e
bin="${1:-build-bench}/bin"
for prog in bench_world bench_items; do
    if [ ! -x "$bin/$prog" ]; then
        echo "$bin/$prog is missing: run cmake --workflow --preset bench first" >&2
        exit 1
    fi
done
common="--benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_min_time=0.3"
"$bin/bench_world" $common 2>/dev/null | grep -E '^(Benchmark|BM_.*_(median|min) )'
"$bin/bench_items" $common 2>/dev/null | grep -E '^BM_.*_(median|min) '
# The same worlds with malloc asking for transparent huge pages: at 10,000 cones the step is
# bound by address translation (each cone's item table alone spans six 4 KiB pages).
echo "with GLIBC_TUNABLES=glibc.malloc.hugetlb=1:"
GLIBC_TUNABLES=glibc.malloc.hugetlb=1 "$bin/bench_world" $common --benchmark_filter='Seated' 2>/dev/null |
    grep -E '^BM_.*_(median|min) '
