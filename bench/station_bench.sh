#!/bin/bash
# The station's throughput: OneKey of a 1 MiB image on a 16 Mbit flash at
# 1 ms per transfer, through the whole station (sensing, the emulated
# operator's swap), with N = 1, 2, 4, 8 programmers; units per hour, the
# ratio to N x one programmer, and the station's CPU time over its wall time.
# Usage: bench/station_bench.sh [BUILD_DIR] [UNITS_PER_PROGRAMMER]
set -euo pipefail
build=${1:-build/native}
per=${2:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c 1048576 /dev/urandom > "$work/image.bin"
printf "%3s %12s %8s %10s\n" N units/hour ratio cpu/wall
base=""
for n in 1 2 4 8; do
    count=$((n * per))
    TIMEFORMAT='%U %S %R'
    { time "$build/cli/vm612k" -q -s 16Mbit --json \
        --sim="programmers=$n,latency_us=1000,size=16Mbit,swap_ms=3000" \
        station "$work/image.bin" --count "$count" > "$work/out.json" 2>/dev/null || true; } 2> "$work/time"
    uph=$(grep -o '"units_per_hour":[0-9.]*' "$work/out.json" | head -1 | cut -d: -f2)
    read -r user sys wall < "$work/time"
    [ -z "$base" ] && base=$uph
    ratio=$(awk -v u="$uph" -v b="$base" -v n="$n" 'BEGIN { printf "%.2f", u / (b * n) }')
    cpu=$(awk -v u="$user" -v s="$sys" -v w="$wall" 'BEGIN { printf "%.3f", (u + s) / w }')
    printf "%3d %12s %8s %10s\n" "$n" "$uph" "$ratio" "$cpu"
done
