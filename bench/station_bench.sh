#!/bin/bash
# The station's throughput against the operator's hands: OneKey of a 1 MiB
# image on a 16 Mbit flash at 1 ms per transfer, with the flash's datasheet
# timing (timing=datasheet), through the whole station, with N = 1, 2, 4, 8,
# 16 programmers. The emulated operator takes each
# module out SWAP_MS after its unit was seen to end and seats the next
# 300 ms later, so one programmer's cycle is the unit, 100 ms to see its end,
# the handling time and the gap. For each N it prints the passed units per
# hour in the steady state (from the audit records' times, per programmer),
# the operator's limit (N x 3600 / that cycle, with the unit's own time from
# the records) and their ratio. Then one operator serving every socket, one
# module at a time: with the handling h (100 ms to see the end, the handling
# time, the 300 ms gap) the limit is the smaller of N x 3600 / (unit + h)
# and 3600 / h, and one operator keeps (unit + h) / h programmers busy; it
# prints that number for the window's OneKey and the blank-aware unit
# (--erase=if-needed, 0xFF pages not sent) on 16 and 128 Mbit, each unit's
# time taken from vm_bench_unit_floor's units on blank modules. Then what a
# look at a socket costs.
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
printf "1 MiB OneKey at 1 ms per transfer, timing=datasheet, handling time %d ms, %d units per programmer\n" "$swap" "$per"
printf "%3s %14s %14s %7s %9s\n" N "passed/hour" "limit/hour" ratio "unit s"
status=0
for n in 1 2 4 8 16; do
    rm -f "$work/audit.log"
    code=0
    (cd "$work" && "$build/cli/vm612k" -q -s 16Mbit \
        --sim="programmers=$n,latency_us=1000,size=16Mbit,timing=datasheet,swap_ms=$swap" \
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

# One operator for every socket: each unit's time on a blank module, the
# window's OneKey (its own traffic: every page sent) and the blank-aware
# unit, from vm_bench_unit_floor (1 MiB with a quarter of its pages 0xFF).
handling=$(awk -v swap="$swap" 'BEGIN { printf "%.3f", 0.1 + swap / 1000 + 0.3 }')
"$build/bench/vm_bench_unit_floor" > "$work/floor.txt" || true
if grep -q "NOT PASSED" "$work/floor.txt" || ! grep -q "^128Mbit, 1 MiB, blank" "$work/floor.txt"; then
    echo "FAILED: a unit of vm_bench_unit_floor did not pass" >&2
    cat "$work/floor.txt" >&2
    status=1
else
    printf "\nOne operator serving every socket, one module at a time (handling %.1f s a module)\n" "$handling"
    printf "%-8s %-12s %8s %14s %14s %18s\n" flash unit "unit s" "limit/h N=4" "limit/h N=16" "programmers kept"
    for size in 16Mbit 128Mbit; do
        grep "^$size, 1 MiB, blank" "$work/floor.txt" | awk -v h="$handling" -v size="$size" '
            function row(name, unit,   cap, l4, l16) {
                cap = 3600 / h
                l4 = 4 * 3600 / (unit + h); if (l4 > cap) l4 = cap
                l16 = 16 * 3600 / (unit + h); if (l16 > cap) l16 = cap
                printf "%-8s %-12s %8.2f %14.0f %14.0f %18.1f\n", size, name, unit, l4, l16, (unit + h) / h
            }
            { row("window", $(NF - 5)); row("blank-aware", $(NF - 4)) }'
    done
fi
"$build/bench/vm_bench_socket_look" || status=1
exit $status
