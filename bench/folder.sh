#!/usr/bin/env bash
# What a user feels over a folder: one `Tarvix replay` per replay over 1,000 replays of 300 KiB,
# against one `cat replay` per replay over the same folder, in paired runs from a warm page
# cache (the order alternating). Prints the median of the ratios; exits 1 above the bar.
# Usage: bench/folder.sh [build directory] [pairs] [bar]
set -euo pipefail
build=$(realpath "${1:-build}")
pairs=${2:-7}
bar=${3:-0.90}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$(dirname "$0")/make_replay.sh" "$work/replay.rpl" 307200
mkdir "$work/folder"
for i in $(seq -w 1000); do cp "$work/replay.rpl" "$work/folder/stage$i.rpl"; done
cat "$work"/folder/* >/dev/null

over_folder() {  # microseconds taken by the command, once per replay
  local start=$EPOCHREALTIME file
  for file in "$work"/folder/*.rpl; do "$@" "$file"; done >/dev/null
  local end=$EPOCHREALTIME
  echo $(( ${end/./} - ${start/./} ))
}
ratios=()
for ((i = 0; i < pairs; i++)); do
  if ((i % 2)); then
    t=$(over_folder "$build/Tarvix"); c=$(over_folder cat)
  else
    c=$(over_folder cat); t=$(over_folder "$build/Tarvix")
  fi
  ratios+=("$(awk -v t="$t" -v c="$c" 'BEGIN { printf "%.4f %d %d", t / c, t, c }')")
done
printf '%s\n' "${ratios[@]}" | sort -n | awk -v n="$pairs" -v bar="$bar" 'NR == int((n + 1) / 2) {
  printf "1,000 replays of 300 KiB, median of %d pairs: Tarvix %.0f ms, cat %.0f ms, ratio %.2f (bar: %.2f or less)\n",
    n, $2 / 1000, $3 / 1000, $1, bar
  exit !($1 <= bar) }'
