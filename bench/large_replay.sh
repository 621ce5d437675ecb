#!/usr/bin/env bash
# Wall time of `Tarvix replay` against `dd bs=<size>` (one read into one block of the file's
# size) on replays of 4 MiB and 256 MiB, in paired runs from a warm page cache, the order
# alternating: the median of the ratios of each size. Then the peak resident memory of Tarvix
# on the 256 MiB replay against the file size. Exits 1 past any bar.
# Usage: bench/large_replay.sh [build directory] [pairs] [bar]
set -euo pipefail
build=$(realpath "${1:-build}")
pairs=${2:-21}
bar=${3:-1.20}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

elapsed() {  # microseconds taken by the command
  local start=$EPOCHREALTIME
  "$@" >/dev/null 2>&1
  local end=$EPOCHREALTIME
  echo $(( (${end/./} - ${start/./}) ))
}
for mib in 4 256; do
  replay=$work/replay-$mib.rpl
  "$(dirname "$0")/make_replay.sh" "$replay" $((mib << 20))
  cat "$replay" >/dev/null
  ratios=()
  for ((i = 0; i < pairs; i++)); do
    if ((i % 2)); then
      t=$(elapsed "$build/Tarvix" "$replay"); d=$(elapsed dd if="$replay" of=/dev/null bs=${mib}M)
    else
      d=$(elapsed dd if="$replay" of=/dev/null bs=${mib}M); t=$(elapsed "$build/Tarvix" "$replay")
    fi
    ratios+=("$(awk -v t="$t" -v d="$d" 'BEGIN { printf "%.4f %d %d", t / d, t, d }')")
  done
  printf '%s\n' "${ratios[@]}" | sort -n | awk -v n="$pairs" -v mib="$mib" -v bar="$bar" 'NR == int((n + 1) / 2) {
    printf "%d MiB replay, median of %d pairs: Tarvix %.2f ms, dd %.2f ms, ratio %.2f (bar: %.2f or less)\n",
      mib, n, $2 / 1000, $3 / 1000, $1, bar
    exit !($1 <= bar) }' || failed=1
done

peak_kib=$(/usr/bin/time -f %M "$build/Tarvix" "$work/replay-256.rpl" 2>&1 >/dev/null | tail -n 1)
awk -v p="$peak_kib" -v s=$((256 << 20)) 'BEGIN {
  over = p / 1024 - s / 1048576
  printf "peak resident memory: %.1f MiB for a %.0f MiB file, %.1f MiB over (bar: 4 MiB or less)\n",
    p / 1024, s / 1048576, over
  exit !(over <= 4) }' || failed=1
exit $failed
