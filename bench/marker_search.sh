#!/usr/bin/env bash
# findSetupMarker against memchr over one 64 MiB image with no match, both measured in one run
# with their repetitions interleaved; the ratio of the median throughputs.
# Usage: bench/marker_search.sh [build directory configured with -DTARVIX_BENCH=ON]
set -euo pipefail
build=${1:-build}
"$build/bench/marker_search_bench" --benchmark_repetitions=15 \
  --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
  --benchmark_format=csv 2>/dev/null |
  awk -F, '/_median"/ { name = $1; gsub(/"/, "", name); speed[name] = $6 }
    END {
      s = speed["findSetupMarker_median"]; m = speed["memchrNoMatch_median"]
      printf "marker search, 64 MiB: findSetupMarker %.2f GB/s, memchr %.2f GB/s, ratio %.2f (bar: 0.80 or more)\n",
        s / 1e9, m / 1e9, s / m }'
