#!/bin/bash
# make station-demo: four emulated programmers on full-speed links, their
# flash keeping a real chip's time (timing=datasheet), run the station over
# the 1 MiB demo image until twelve units are done. The modules come blank,
# so the blank-aware erase skips their erase. The emulated operator swaps
# each module 2 s after its unit was seen to end; programmer 3 has one page
# with a wrong sum, so one unit fails and the yield shows it. Then the
# audit log.
set -euo pipefail
build=${1:-build/native}
work=$build/station-demo
rm -rf "$work" && mkdir -p "$work"
"$build/cli/vm612k" -s 16Mbit \
    --sim="programmers=4,latency_us=1000,timing=datasheet,size=16Mbit,file=$work/flash.bin,swap_ms=2000,badsum=200@3" \
    station "$build/demo/demo-tone.bin" --erase=if-needed --count 12 --log "$work/audit.log" || true
echo "== audit log $work/audit.log =="
cat "$work/audit.log"
