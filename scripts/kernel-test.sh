#!/usr/bin/env bash
# The Linux backend against a real kernel: boots Debian's kernel in QEMU with
# virtual programmers on its xHCI controller (vm612k_usbredir, the emulator's
# programmer model behind QEMU's usb-redir device) and runs vm612k in the
# guest on the kernel's own hidraw nodes. The guest reports its checks on
# the serial console; this script adds the checks of what the virtual devices
# saw (their flash contents and the feature-report lengths the kernel
# passed) and ends with "kernel: N passed, N failed".
#
#   scripts/kernel-test.sh BUILD OUT
#
# BUILD holds the kernel preset's build (cli/vm612k static,
# sim/usbredir/vm612k_usbredir); OUT receives the boot image and each boot's
# files. Two boots: one programmer; then two programmers and another device
# of their maker.
set -euo pipefail

build=$(cd "$1" && pwd)
out=$2
here=$(cd "$(dirname "$0")/.." && pwd)
redir="$build/sim/usbredir/vm612k_usbredir"
mkdir -p "$out"
out=$(cd "$out" && pwd)

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "kernel: pass $1"; }
fail() { failed=$((failed + 1)); echo "kernel: FAIL $1"; }
check() {  # NAME CONDITION...
    local name=$1
    shift
    if "$@"; then pass "$name"; else fail "$name"; fi
}
closing() {
    echo "kernel: $passed passed, $failed failed"
    [[ $failed -eq 0 ]]
}

image="$out/image.bin"
head -c 131072 /dev/urandom > "$image"  # the 1Mbit flash, whole
echo "kernel: building the boot image"
"$here/scripts/kernel-image.sh" "$out/guest" "$build/cli/vm612k" "$image"

# qemu ACCEL... RUN CONSOLE SECONDS [DEVICE ARGS...]: one boot of the guest.
qemu() {
    local -a how=()
    while [[ $1 == -* ]]; do how+=("$1" "$2"); shift 2; done
    local run=$1 console=$2 seconds=$3
    shift 3
    timeout --kill-after=5 "$seconds" qemu-system-x86_64 "${how[@]}" -M q35 -m 512 \
        -nodefaults -no-user-config -display none -no-reboot \
        -serial "file:$console" -monitor none \
        -kernel "$out/guest/vmlinuz" -initrd "$out/guest/initrd.cpio" \
        -append "console=ttyS0 quiet panic=-1 vm612k.run=$run" \
        -device qemu-xhci,id=xhci "$@"
}

# KVM when /dev/kvm can be opened and boots this kernel (a nested hypervisor
# may offer a /dev/kvm that runs only kernels made for it), TCG otherwise;
# neither: say so and fail.
probe="$out/probe"
mkdir -p "$probe"
booted() { tr -d '\r' 2>/dev/null < "$probe/$1.log" | grep -qx '@@ done'; }
if (exec 3<>/dev/kvm) 2>/dev/null &&
   { qemu -accel kvm probe "$probe/kvm.log" 20 2>"$probe/kvm.err" || true; booted kvm; }; then
    accel=(-accel kvm)
    boot_seconds=90
    echo "kernel: KVM"
elif { qemu -accel tcg probe "$probe/tcg.log" 120 2>"$probe/tcg.err" || true; booted tcg; }; then
    accel=(-accel tcg -cpu max)
    boot_seconds=240
    if [[ -e /dev/kvm ]]; then
        echo "kernel: /dev/kvm opens but did not boot the guest within 20 s ($probe/kvm.err); TCG (slower)"
    else
        echo "kernel: no /dev/kvm; TCG (slower)"
    fi
else
    echo "kernel: QEMU can run the guest neither with KVM nor with TCG; the kernel test cannot run."
    echo "kernel: TCG said: $(tail -n 3 "$probe/tcg.err" 2>/dev/null)"
    fail "a virtual machine boots the guest"
    closing
fi

pids=()
stop_devices() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    pids=()
}
trap stop_devices EXIT

# start_device DIR NAME ARGS...: a virtual device on DIR/NAME.sock, ready
# when it says so (10 s at most); its requests go to DIR/NAME.record.
start_device() {
    local dir=$1 name=$2 fd line
    shift 2
    # Socket paths are relative to DIR (a Unix socket's path is limited to
    # 107 bytes, a build folder's is not).
    exec {fd}< <(cd "$dir" && exec timeout --kill-after=5 $((boot_seconds + 30)) "$redir" --socket "$name.sock" \
                 --serial "$name" --record "$name.record" "$@" 2>"$name.err")
    pids+=($!)
    if ! read -r -t 10 -u "$fd" line || [[ $line != listening ]]; then
        echo "kernel: the virtual device $name did not start: $(cat "$dir/$name.err")"
        exec {fd}<&-
        return 1
    fi
    exec {fd}<&-
    qemu_devices+=(-chardev "socket,id=$name,path=$name.sock" -device "usb-redir,chardev=$name,id=u$name,bus=xhci.0")
}

# boot RUN: the guest with the devices started; its console in RUN/console.log.
boot() {
    local run=$1 dir="$out/$1" status=0
    echo "kernel: booting the guest ($run: ${qemu_names[*]})"
    (cd "$dir" && qemu "${accel[@]}" "$run" "$dir/console.log" "$boot_seconds" "${qemu_devices[@]}") \
        2>"$dir/qemu.err" || status=$?
    if [[ $status -eq 124 || $status -eq 137 ]]; then
        echo "kernel: the guest did not finish within $boot_seconds s"
    elif [[ $status -ne 0 ]]; then
        echo "kernel: QEMU failed ($status): $(cat "$dir/qemu.err")"
    fi
    stop_devices
    tr -d '\r' < "$dir/console.log" | sed -n 's/^@@ //p' > "$dir/results" || true
    check "$run: guest finished" grep -qx done "$dir/results"
    local line
    while IFS= read -r line; do
        case $line in
            "pass "*) pass "$run: ${line#pass }" ;;
            "fail "*) fail "$run: ${line#fail }" ;;
        esac
    done < "$dir/results"
    if ! grep -qx done "$dir/results" || grep -q '^fail ' "$dir/results"; then
        echo "kernel: console of $run ($dir/console.log), last lines:"
        tail -n 40 "$dir/console.log" | sed 's/^/    /'
    fi
}

# Every feature report the kernel passed on: GET_REPORT or SET_REPORT of
# feature report 0 (wValue 0x0300) with the report's data length, 5 bytes on
# interface 0 and 2048 on interface 1, the report id not among them.
lengths_as_assumed() {
    local record=$1
    grep -E '^(GET|SET)_REPORT ' "$record" | awk '
        { ok = ($3 == "value=0x0300") && (($2 == "interface=0" && $4 == "wLength=5") ||
                                            ($2 == "interface=1" && $4 == "wLength=2048")) }
        !ok { bad = 1; print "    unexpected: " $0 }
        END { exit bad }'
}
seen_on_both() {
    grep -q '^SET_REPORT interface=0 ' "$1" && grep -q '^GET_REPORT interface=0 ' "$1" &&
        grep -q '^SET_REPORT interface=1 ' "$1" && grep -q '^GET_REPORT interface=1 ' "$1"
}
all_ok() {  # every feature report went through
    grep -E '^(GET|SET)_REPORT ' "$1" | awk '!/ ok$/ { bad = 1 } END { exit bad }'
}
summary() {  # the kinds of request a device saw, with their counts
    [[ -f $1 ]] || return 0
    sed -E 's/ data=[0-9]+//' "$1" | sort | uniq -c | sed 's/^/    /'
}

size=1mbit
unplug_page=10

# Boot 1: one programmer.
dir="$out/one"
rm -rf "$dir" && mkdir -p "$dir"
qemu_devices=()
qemu_names=(P1)
start_device "$dir" P1 --sim "size=$size,file=$dir/P1.flash" || fail "one: device P1 started"
boot one
check "one: the flash holds the image" cmp -s "$image" "$dir/P1.flash"
check "one: feature reports on both interfaces" seen_on_both "$dir/P1.record"
check "one: feature report lengths as the backend assumes" lengths_as_assumed "$dir/P1.record"
check "one: no feature report refused" all_ok "$dir/P1.record"
echo "kernel: requests P1 saw:"; summary "$dir/P1.record"

# Boot 2: PA (write-protected, its own erase fails), OT (the maker's other
# product, with the programmer's two interfaces), PB (leaves the bus after
# $unplug_page pages).
dir="$out/two"
rm -rf "$dir" && mkdir -p "$dir"
qemu_devices=()
qemu_names=(PA OT PB)
start_device "$dir" PA --sim "size=$size,file=$dir/PA.flash,protect=1,erase=fail" || fail "two: device PA started"
start_device "$dir" OT --other || fail "two: device OT started"
start_device "$dir" PB --sim "size=$size,file=$dir/PB.flash,unplug=$unplug_page" || fail "two: device PB started"
boot two
check "two: PA's flash holds the image" cmp -s "$image" "$dir/PA.flash"
check "two: PB holds the pages before it left" cmp -s -n $((unplug_page * 2048)) "$image" "$dir/PB.flash"
check "two: PB does not hold the whole image" bash -c '! cmp -s "$0" "$1"' "$image" "$dir/PB.flash"
check "two: PA's feature reports on both interfaces" seen_on_both "$dir/PA.record"
check "two: PA's feature report lengths as the backend assumes" lengths_as_assumed "$dir/PA.record"
check "two: PB's feature report lengths as the backend assumes" lengths_as_assumed "$dir/PB.record"
check "two: no feature report to the other product" bash -c '! grep -qE "^(GET|SET)_REPORT " "$0"' "$dir/OT.record"
check "two: PA refused no feature report" all_ok "$dir/PA.record"
echo "kernel: requests PA saw:"; summary "$dir/PA.record"
echo "kernel: requests PB saw:"; summary "$dir/PB.record"
closing
