#!/usr/bin/env bash
# Builds the kernel test's boot image from Debian packages, without
# installing any of them: the kernel of linux-image-amd64 with the modules for
# xHCI, USB HID and hidraw (hidraw is built into hid.ko), busybox-static, the
# static vm612k given as $2, tests/kernel/guest-init.sh as /init, and the
# further files given in /data.
#
#   scripts/kernel-image.sh OUT VM612K [FILE...]
#
# Leaves OUT/vmlinuz and OUT/initrd.cpio. The packages are fetched with
# apt-get download into OUT/debs once and unpacked with dpkg -x.
set -euo pipefail

out=$1
vm612k=$2
shift 2
here=$(cd "$(dirname "$0")/.." && pwd)
debs="$out/debs"
unpacked="$out/unpacked"
stage="$out/initramfs"
mkdir -p "$debs"

# The kernel package that linux-image-amd64 stands for today.
kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null |
        awk '$1 == "Depends:" && $2 ~ /^linux-image-[0-9]/ { print $2; exit }'
}
package=$(kernel_package)
if [[ -z $package ]]; then
    apt-get update -q >&2
    package=$(kernel_package)
fi
[[ -n $package ]] || { echo "kernel-image: apt-cache knows no linux-image-amd64" >&2; exit 1; }

fetch() {
    local name=$1
    local try
    for try in first again; do
        compgen -G "$debs/${name}_*.deb" >/dev/null && break
        # A package list older than the archive names versions it no longer has.
        [[ $try == again ]] && apt-get update -q >&2
        (cd "$debs" && apt-get download -q "$name" 2>&1 | grep -v '^W: Download is performed unsandboxed' >&2 || true)
    done
    compgen -G "$debs/${name}_*.deb" >/dev/null || { echo "kernel-image: could not download $name" >&2; exit 1; }
    if [[ ! -e $unpacked/$name.done ]]; then
        mkdir -p "$unpacked/$name"
        dpkg -x "$(compgen -G "$debs/${name}_*.deb" | head -n 1)" "$unpacked/$name"
        touch "$unpacked/$name.done"
    fi
}
fetch "$package"
fetch busybox-static

kroot="$unpacked/$package"
version=${package#linux-image-}
modules="$kroot/lib/modules/$version"
cp "$kroot/boot/vmlinuz-$version" "$out/vmlinuz"
busybox="$unpacked/busybox-static/bin/busybox"

rm -rf "$stage"
mkdir -p "$stage"/{bin,dev,proc,sys,tmp,modules,data}
[[ $# -eq 0 ]] || cp "$@" "$stage/data/"
cp "$busybox" "$stage/bin/busybox"
cp "$vm612k" "$stage/bin/vm612k"
cp "$here/tests/kernel/guest-init.sh" "$stage/init"
chmod 755 "$stage/init" "$stage/bin/busybox" "$stage/bin/vm612k"

# The modules and what they need, each after its dependencies, as read from
# the modules' own .modinfo (the package has no modules.dep: depmod makes it
# when installing).
declare -A path_of=() loaded=()
while IFS= read -r file; do
    name=$(basename "$file" .ko)
    path_of[${name//-/_}]=$file
done < <(find "$modules/kernel" -name '*.ko')
order=()
add_module() {
    local key=${1//-/_}
    [[ -n ${loaded[$key]:-} ]] && return 0
    local file=${path_of[$key]:-}
    [[ -n $file ]] || { echo "kernel-image: module $1 is not in $package" >&2; exit 1; }
    loaded[$key]=1
    local depends
    depends=$(objcopy -O binary --only-section=.modinfo "$file" /dev/stdout | tr '\0' '\n' |
              sed -n 's/^depends=//p')
    local dep
    for dep in ${depends//,/ }; do add_module "$dep"; done
    cp "$file" "$stage/modules/$key.ko"
    order+=("$key")
}
for wanted in xhci-pci usbhid hid-generic; do add_module "$wanted"; done
printf '%s\n' "${order[@]}" > "$stage/modules/order"

(cd "$stage" && find . | sort | "$busybox" cpio -o -H newc 2>/dev/null) > "$out/initrd.cpio"
