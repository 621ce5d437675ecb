#!/usr/bin/env bash
# Writes a synthetic replay for the benchmarks: filler bytes of 0xAA, Driver1 on map 71 in car
# slot 4, and a setup block of 300 bytes (200 bytes 1 to 200, then zeros) 4 KiB before the end.
# Usage: bench/make_replay.sh <path> <size in bytes>
set -euo pipefail
path=$1
size=$(($2 / 4 * 4))
m=$((size - 4096))
head -c "$size" /dev/zero | tr '\0' '\252' >"$path"
put() { printf "$2" | dd of="$path" bs=4096 seek="$1" oflag=seek_bytes conv=notrunc status=none; }
put 12 'Driver1\0\0\0\0\0\0\0\0\0'
put 28 '\107\0\0\0\4\0\0\0'                             # map 71, car slot 4
put $((m - 24)) '\0\0\364\101\0\0\165\102\0\0\276\102'  # 30.5, 61.25 and 95 seconds
put "$m" 'PTSC\54\1\0\0'                                # the marker, a setup length of 300
put $((m + 8)) "$(printf '\\%03o' $(seq 1 200))$(printf '\\0%.0s' $(seq 100))"
