#!/usr/bin/env bash
# findSetupMarker against memchr over one 64 MiB image with no match: 21 repetitions of each,
# 0.2 s or more apiece, in random order, and the ratio of the two medians. A figure for a quiet
# machine: another process on the same cores moves either side. The bar guards against a search
# that lost its vector compares (a plain word loop reads about a quarter of memchr's speed); the
# ratio itself depends on the processor, as memchr uses the widest compares it has and the search
# those of the baseline the compiler targets. Exits 1 below the bar.
# Usage: bench/marker_search.sh [build directory configured with -DTARVIX_BENCH=ON] [bar]
set -euo pipefail
build=${1:-build}
bar=${2:-0.70}
"$build/bench/marker_search_bench" --benchmark_repetitions=21 --benchmark_min_time=0.2 \
  --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
  --benchmark_format=csv 2>/dev/null |
  awk -F, -v bar="$bar" '/_median"/ { split($1, name, "[/_\"]+"); speed[name[2] "/" name[3]] = $6 }
    END {
      s = speed["findSetupMarker/64"]; m = speed["memchrNoMatch/64"]
      printf "marker search, 64 MiB (needs a quiet machine): findSetupMarker %.2f GB/s, memchr %.2f GB/s, ratio %.2f (bar: %.2f or more)\n",
        s / 1e9, m / 1e9, s / m, bar
      exit !(s / m >= bar)
    }'
