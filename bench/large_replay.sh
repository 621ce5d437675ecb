#!/usr/bin/env bash
# Wall time of `Tarvix replay` on a 256 MiB replay against `dd bs=256M` (one read into one
# block of the same size), in paired runs from a warm page cache: the median of the ratios.
# Also the peak resident memory of Tarvix against the file size.
# Usage: bench/large_replay.sh [build directory] [pairs]
set -euo pipefail
build=$(realpath "${1:-build}")
pairs=${2:-21}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
size=$((256 << 20))
"$(dirname "$0")/make_replay.sh" "$work/replay.rpl" "$size"
cat "$work/replay.rpl" >/dev/null

elapsed() {  # microseconds taken by the command
  local start=$EPOCHREALTIME
  "$@" >/dev/null 2>&1
  local end=$EPOCHREALTIME
  echo $(( (${end/./} - ${start/./}) ))
}
ratios=()
for ((i = 0; i < pairs; i++)); do
  if ((i % 2)); then  # alternate which runs first
    t=$(elapsed "$build/Tarvix" "$work/replay.rpl"); d=$(elapsed dd if="$work/replay.rpl" of=/dev/null bs=256M)
  else
    d=$(elapsed dd if="$work/replay.rpl" of=/dev/null bs=256M); t=$(elapsed "$build/Tarvix" "$work/replay.rpl")
  fi
  ratios+=("$(awk -v t="$t" -v d="$d" 'BEGIN { printf "%.4f %d %d", t / d, t, d }')")
done
printf '%s\n' "${ratios[@]}" | sort -n | awk -v n="$pairs" 'NR == int((n + 1) / 2) {
  printf "256 MiB replay, median of %d pairs: Tarvix %.1f ms, dd %.1f ms, ratio %.2f (bar: 1.50 or less)\n",
    n, $2 / 1000, $3 / 1000, $1 }'

peak_kib=$(/usr/bin/time -f %M "$build/Tarvix" "$work/replay.rpl" 2>&1 >/dev/null | tail -n 1)
awk -v p="$peak_kib" -v s="$size" 'BEGIN {
  printf "peak resident memory: %.1f MiB for a %.0f MiB file, %.1f MiB over (bar: 4 MiB or less)\n",
    p / 1024, s / 1048576, p / 1024 - s / 1048576 }'
