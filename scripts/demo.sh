#!/usr/bin/env bash
# The main job: a OneKey Download of the demo image on the built-in
# emulator, then a read back compared with the image.
set -euo pipefail
build=${1:-build/native}
cli="$build/cli/vm612k"
demo="$build/demo"
image="$demo/demo-tone.bin"
flash="$demo/flash.bin"
rm -f "$flash" "$demo/readback.bin"

# A full-speed USB link: each HID transfer takes a millisecond.
sim="latency_us=1000,timing=datasheet,size=16Mbit,file=$flash"

echo "== OneKey Download of $(basename "$image") on the emulator (16 Mbit flash) =="
"$cli" --sim="$sim" --size 16Mbit onekey "$image"
echo
echo "== Read back =="
"$cli" --sim="$sim" --size 16Mbit read -o "$demo/readback.bin"
echo
size=$(stat -c %s "$image")
if cmp -s -n "$size" "$image" "$demo/readback.bin"; then
    echo "demo: the flash read back matches the image ($size bytes)"
else
    echo "demo: the flash read back differs from the image" >&2
    exit 1
fi
