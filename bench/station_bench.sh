#!/bin/bash
# The station's throughput against the operator's hands: OneKey of a 1 MiB
# image on a 16 Mbit flash at 1 ms per transfer, through the whole station,
# with N = 1, 2, 4, 8, 16 programmers. The emulated operator takes each
# module out SWAP_MS after its unit was seen to end and seats the next
# 300 ms later, so one programmer's cycle is the unit, 100 ms to see its end,
# the handling time and the gap. For each N it prints the passed units per
# hour in the steady state (from the audit records' times, per programmer),
# the operator's limit (N x 3600 / that cycle, with the unit's own time from
# the records) and their ratio; then what a look at a socket costs.
# Only passed units count; a failed unit fails the benchmark, since no fault
# is injected.
# Usage: bench/station_bench.sh [BUILD_DIR] [UNITS_PER_PROGRAMMER] [SWAP_MS]
set -euo pipefail
build=$(cd "${1:-build/native}" && pwd)
per=${2:-4}
swap=${3:-2000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c 1048576 /dev/urandom > "$work/image.bin"
printf "1 MiB OneKey at 1 ms per transfer, handling time %d ms, %d units per programmer\n" "$swap" "$per"
printf "%3s %14s %14s %7s %9s\n" N "passed/hour" "limit/hour" ratio "unit s"
status=0
for n in 1 2 4 8 16; do
    rm -f "$work/audit.log"
    code=0
    (cd "$work" && "$build/cli/vm612k" -q -s 16Mbit \
        --sim="programmers=$n,latency_us=1000,size=16Mbit,swap_ms=$swap" \
        station image.bin --count $((n * per)) --log audit.log > out.txt 2> err.txt) || code=$?
    if [ "$code" != 0 ] || grep -q '"result":"fail"' "$work/audit.log"; then
        echo "FAILED: N=$n: exit $code, $(grep -c '"result":"fail"' "$work/audit.log" || true) failed units" >&2
        cat "$work/err.txt" >&2
        status=1
        continue
    fi
    # Per programmer: the intervals between its units' ends, in the steady
    # state, and the units' own times.
    awk -v n="$n" -v swap="$swap" '
        function field(name,   m) {
            if (match($0, "\"" name "\":[^,}]*")) return substr($0, RSTART + length(name) + 3, RLENGTH - length(name) - 3)
            return ""
        }
        {
            t = field("time"); gsub(/"/, "", t)
            s = substr(t, 12, 2) * 3600 + substr(t, 15, 2) * 60 + substr(t, 18, 6)
            p = field("programmer")
            if (p in last && s < last[p]) s += 86400
            if (p in last) { span[p] += s - last[p]; gaps[p]++ }
            last[p] = s
            unit += field("seconds"); units++
        }
        END {
            rate = 0
            for (p in gaps) if (gaps[p] > 0) rate += gaps[p] / span[p] * 3600
            mean = unit / units
            cycle = mean + 0.1 + swap / 1000 + 0.3
            limit = n * 3600 / cycle
            printf "%3d %14.0f %14.0f %7.3f %9.2f\n", n, rate, limit, rate / limit, mean
        }' "$work/audit.log"
done
"$build/bench/vm_bench_socket_look" || status=1
exit $status
