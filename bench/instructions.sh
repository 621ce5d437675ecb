#!/usr/bin/env bash
# Instructions executed by the whole process, counted by callgrind (deterministic on a noisy
# machine): `Tarvix -s out.setup replay` against `cat replay`, on a 300 KiB replay whose setup
# block lies near the end. A guard against regressions: exits 1 above the bar.
# Usage: bench/instructions.sh [build directory]
set -euo pipefail
build=$(realpath "${1:-build}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$(dirname "$0")/make_replay.sh" "$work/replay.rpl" 307200
cd "$work"
count() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
    sed -n 's/.*Collected : *//p'
}
tarvix=$(count "$build/Tarvix" -s out.setup replay.rpl)
cat=$(count cat replay.rpl)
awk -v t="$tarvix" -v c="$cat" 'BEGIN {
  printf "instructions, 300 KiB replay: Tarvix -s %d, cat %d, ratio %.2f (bar: 0.85 or less)\n", t, c, t / c
  exit !(t / c <= 0.85) }'
