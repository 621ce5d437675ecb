#!/usr/bin/env bash
# findSetupMarker against memchr over one 64 MiB image with no match, their repetitions
# interleaved: the ratio of the median throughputs. Exits 1 below the bar.
# Usage: bench/marker_search.sh [build directory configured with -DTARVIX_BENCH=ON]
set -euo pipefail
build=${1:-build}
"$build/bench/marker_search_bench" --benchmark_repetitions=15 \
  --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
  --benchmark_format=csv 2>/dev/null |
  awk -F, '/_median"/ { split($1, name, "[/_\"]+"); speed[name[2] "/" name[3]] = $6 }
    END {
      s = speed["findSetupMarker/64"]; m = speed["memchrNoMatch/64"]
      printf "marker search, 64 MiB: findSetupMarker %.2f GB/s, memchr %.2f GB/s, ratio %.2f (bar: 0.90 or more)\n",
        s / 1e9, m / 1e9, s / m
      exit !(s / m >= 0.90)
    }'
