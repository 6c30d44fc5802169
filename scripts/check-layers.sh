#!/usr/bin/env bash
# The layers include one way: a file includes only files of its own layer and
# of the layers below it. From the top:
#   front ends: cli (vm612k), desktop (vm612k-gui), windows (the dialog
#               programs), launcher; they never include each other
#   web (the live views over HTTP: the server, a station's board and metrics)
#   station -> job (production job files) -> app -> operations -> chip -> device
#   usb: the USB seam (usb/usb_seam.h), its implementations (the system's
#               USB services in usb/linux and usb/win32, the emulator in sim)
#               and the choice between them (usb/usb_select.h)
#   leaves: platform (the operating system's bindings), texts (the catalogue),
#           serial (the serial numbers' formats and store: job, station and
#           the front ends may include it; it includes nothing of the product)
# A layer is a set of folders; an include is judged by the folder of the
# file it names, so a sub-folder belongs to a layer only where it is listed.
# Prints each include that reaches upwards or sideways and fails when there
# is one.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# layer -> its folders
declare -A folders=(
    [texts]="texts"
    [serial]="serial"
    [platform]="platform platform/linux platform/win32"
    [usb]="usb usb/linux usb/win32 sim sim/linux sim/win32 sim/usbredir"
    [device]="device"
    [chip]="chip"
    [operations]="operations"
    [app]="app"
    [job]="job"
    [station]="station"
    [web]="web"
    [cli]="cli"
    [desktop]="desktop"
    [windows]="windows windows/res"
    [launcher]="launcher launcher/linux launcher/win32"
)

# layer -> the layers below it that it may include
declare -A below=(
    [texts]=""
    [serial]=""
    [platform]="texts"
    [usb]="platform texts"
    [device]="usb platform texts"
    [chip]="device usb platform texts"
    [operations]="chip device usb platform texts"
    [app]="operations chip device usb platform texts"
    [job]="serial app operations chip device usb platform texts"
    [station]="job serial app operations chip device usb platform texts"
    [web]="station job serial app operations chip device usb platform texts"
    [cli]="web station job serial app operations chip device usb platform texts"
    [desktop]="station job serial app operations chip device usb platform texts"
    [windows]="app operations chip device usb platform texts"
    [launcher]="platform texts"
)

# The command line and the station work on programmer sessions: they never
# include the window, its host or its control ids.
window_files="app/control_ids.h app/main_window.h app/window_host.h app/window_ops.h"
declare -A refused=(
    [station]=$window_files
    [web]=$window_files
    [cli]=$window_files
)

layer_of_folder() {
    local folder=$1 layer f
    for layer in "${!folders[@]}"; do
        for f in ${folders[$layer]}; do
            if [[ $f == "$folder" ]]; then
                echo "$layer"
                return 0
            fi
        done
    done
    return 0
}

bad=0
for layer in "${!folders[@]}"; do
    allowed=" $layer ${below[$layer]} "
    for folder in ${folders[$layer]}; do
        [[ -d $folder ]] || continue
        while IFS= read -r file; do
            while IFS= read -r included; do
                target=$(layer_of_folder "$(dirname "$included")")
                if [[ -z $target || $allowed != *" $target "* ]]; then
                    echo "check-layers: $file ($layer) includes $included (${target:-no layer})"
                    bad=1
                elif [[ " ${refused[$layer]:-} " == *" $included "* ]]; then
                    echo "check-layers: $file ($layer) includes $included, a part of the window"
                    bad=1
                fi
            done < <(sed -n 's/^#include "\([^"]*\/[^"]*\)".*/\1/p' "$file")
        done < <(find "$folder" -maxdepth 1 \( -name '*.h' -o -name '*.cpp' -o -name '*.rc' \))
    done
done
[[ $bad == 0 ]] && echo "check-layers: every include goes down"
exit $bad
