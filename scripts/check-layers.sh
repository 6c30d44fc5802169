#!/usr/bin/env bash
# The layers include one way: a file of a layer includes only its own layer,
# the layers below it and the text catalogue (app/texts), a leaf.
#   front ends -> station -> app -> operations -> chip -> device -> the USB seam
# The station engine (station/) serves both front ends, which never include
# each other.
# Prints each include that reaches upwards and fails when there is one.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

declare -A allowed=(
    [device]="device"
    [chip]="chip device"
    [operations]="operations chip device"
    [app]="app operations chip device platform/files.h platform/process.h"
    [station]="station app operations chip device platform/append_file.h platform/utc_time.h"
    [cli]="cli station app operations chip device platform sim"
    [platform/qt]="platform/qt station app operations chip device platform sim"
    [app/texts]="app/texts"
    [sim]="sim device/usb_seam.h"
)

# The command line and the station work on programmer sessions: no window,
# no window host, no control ids.
declare -A forbidden=(
    [station]="app/control_ids.h app/main_window.h app/window_host.h app/window_ops.h platform/headless"
    [cli]="app/control_ids.h app/main_window.h app/window_host.h app/window_ops.h platform/headless"
)

bad=0
for layer in "${!allowed[@]}"; do
    for file in $(find "$layer" -maxdepth 1 -name '*.h' -o -maxdepth 1 -name '*.cpp'); do
        while IFS= read -r included; do
            ok=0
            [[ $included == app/texts/* ]] && ok=1
            for prefix in ${allowed[$layer]}; do
                [[ $included == "$prefix"/* || $included == "$prefix" ]] && ok=1
            done
            for prefix in ${forbidden[$layer]:-}; do
                [[ $included == "$prefix"/* || $included == "$prefix" ]] && ok=0
            done
            if [[ $ok == 0 ]]; then
                echo "check-layers: $file includes $included"
                bad=1
            fi
        done < <(sed -n 's/^#include "\([^"]*\/[^"]*\)".*/\1/p' "$file")
    done
done
[[ $bad == 0 ]] && echo "check-layers: every include goes down"
exit $bad
