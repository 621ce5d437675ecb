#!/usr/bin/env bash
# findSetupMarker against memchr over one image with no match, at 64 MiB and at 1 GiB (larger
# than any last-level cache), all measured in one run with their repetitions interleaved; the
# ratio of the median throughputs at each size.
# Usage: bench/marker_search.sh [build directory configured with -DTARVIX_BENCH=ON]
set -euo pipefail
build=${1:-build}
"$build/bench/marker_search_bench" --benchmark_repetitions=15 \
  --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
  --benchmark_format=csv 2>/dev/null |
  awk -F, '/_median"/ { split($1, name, "[/_\"]+"); speed[name[2] "/" name[3]] = $6 }
    END {
      for (size = 64; size <= 1024; size *= 16) {
        s = speed["findSetupMarker/" size]; m = speed["memchrNoMatch/" size]
        printf "marker search, %d MiB: findSetupMarker %.2f GB/s, memchr %.2f GB/s, ratio %.2f (bar: 1.00 or more)\n",
          size, s / 1e9, m / 1e9, s / m
      }
    }'
