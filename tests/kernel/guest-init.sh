#!/bin/busybox sh
# /init of the kernel test's guest. Loads the USB and HID modules, waits for
# the hidraw nodes of the virtual devices, runs vm612k on them and reports
# each check as "@@ pass NAME" or "@@ fail NAME: why" on the console; the
# host adds its own checks of the flash contents. The set of checks comes
# from the kernel command line: vm612k.run=one (one programmer),
# vm612k.run=two (two programmers and another device of their maker), or
# vm612k.run=probe (none: the host only learns that the guest boots).
/bin/busybox mkdir -p /usr/bin /sbin /usr/sbin
/bin/busybox --install -s
export PATH=/bin:/sbin:/usr/bin:/usr/sbin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs dev /dev
exec >/dev/console 2>&1

say() { echo "@@ $*"; }
check() {  # NAME CONDITION...: pass when the condition holds
    name=$1
    shift
    if "$@"; then say "pass $name"; else say "fail $name: $*"; fi
}
finish() {
    say "done"
    sync
    poweroff -f
}

run=$(sed -n 's/.*vm612k\.run=\([a-z]*\).*/\1/p' /proc/cmdline)
[ "$run" = probe ] && finish  # the host asks whether this machine boots at all

for module in $(cat /modules/order); do
    insmod "/modules/$module.ko" || say "fail insmod-$module"
done

case $run in
    one) serials="P1" expected_nodes=2 ;;
    two) serials="PA OT PB" expected_nodes=6 ;;
    *) say "fail setup: no vm612k.run= on the command line"; finish ;;
esac

# The kernel makes the nodes on its own time; wait for all of them, 20 s at most.
tries=0
while [ "$(ls /sys/class/hidraw 2>/dev/null | wc -l)" -lt "$expected_nodes" ] && [ $tries -lt 200 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
check hidraw-nodes [ "$(ls /sys/class/hidraw | wc -l)" -eq "$expected_nodes" ]

# What the kernel laid out, for whoever reads the console.
for link in /sys/class/hidraw/hidraw*; do
    echo "   sysfs: $link -> $(readlink -f "$link")"
done
for file in /sys/class/hidraw/hidraw0/uevent /sys/class/hidraw/hidraw0/device/uevent; do
    [ -e "$file" ] && sed "s|^|   sysfs: $file: |" "$file"
done

# The /dev nodes of the device with this serial number, interface 0 first,
# found through sysfs: hidrawN -> its HID device -> interface -> USB device.
nodes_of() {
    for link in /sys/class/hidraw/hidraw*; do
        node=$(basename "$link")
        interface=$(readlink -f "$link/device/..")
        usb=$(dirname "$interface")
        [ "$(cat "$usb/serial" 2>/dev/null)" = "$1" ] || continue
        echo "$(cat "$interface/bInterfaceNumber") /dev/$node"
    done | sort | sed 's/^[0-9]* //' | tr '\n' ' ' | sed 's/ $//'
}
# The /dev nodes of one line of "vm612k list" ("0 USB0 /dev/hidraw0 USB1 ...").
line_nodes() { echo "$1" | tr ' ' '\n' | grep '^/dev/' | tr '\n' ' ' | sed 's/ $//'; }
# The index that "vm612k list" gives the device with this serial number.
index_of() {
    want=$(nodes_of "$1")
    [ -n "$want" ] || return 0
    echo "$list" | while read -r line; do
        [ "$(line_nodes "$line")" = "$want" ] && echo "${line%% *}"
    done
}
# Runs vm612k with a bound of 90 s; its output goes to /tmp/out and the console.
vm() {
    timeout 90 vm612k -q "$@" >/tmp/out 2>&1
    status=$?
    sed 's/^/   | /' /tmp/out
    return $status
}
has() { grep -qF "$1" /tmp/out; }

image=/data/image.bin
size=1Mbit

if [ "$run" = one ]; then
    list=$(vm612k list)
    echo "$list" | sed 's/^/   | /'
    check list-one-programmer [ "$(echo "$list" | grep -c '^[0-9]')" -eq 1 ]
    check list-its-two-nodes [ "$(line_nodes "$list")" = "$(nodes_of P1)" ]

    vm --size "$size" onekey "$image"
    check onekey-exit [ $? -eq 0 ]
    check onekey-verified has "Verify pass..."

    vm --size "$size" read -o /tmp/read.bin
    check read-exit [ $? -eq 0 ]
    check read-equals-image cmp -s "$image" /tmp/read.bin
fi

if [ "$run" = two ]; then
    list=$(vm612k list)
    echo "$list" | sed 's/^/   | /'
    check list-two-programmers [ "$(echo "$list" | grep -c '^[0-9]')" -eq 2 ]
    a=$(index_of PA)
    b=$(index_of PB)
    check list-first-pair [ -n "$a" ]
    check list-second-pair [ -n "$b" ]

    # Write-protected, and its own erase fails: the release and the second
    # erase method through the I/O port.
    vm --programmer "${a:-0}" --size "$size" onekey "$image"
    check protected-onekey-exit [ $? -eq 0 ]
    check protected-release has "Disable write protection..."
    check protected-second-method has "Try the second method to erase...wait"
    check protected-direct-erase has "Erase flash OK..."
    check protected-verified has "Verify pass..."

    # PB leaves the bus in the middle of the programming.
    vm --programmer "${b:-1}" --size "$size" program "$image"
    status=$?
    # A failed transfer: exit status 4.
    check unplug-exit [ $status -eq 4 ]
    check unplug-data-error has "Program data error..."
    check unplug-fail has "program fail..."
    list=$(vm612k list)
    echo "$list" | sed 's/^/   | /'
    check unplug-gone-from-list [ "$(echo "$list" | grep -c '^[0-9]')" -eq 1 ]
fi
finish
