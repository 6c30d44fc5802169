#!/usr/bin/env bash
# The Debian package holds the desktop program, its menu entry and its icons,
# depends on Qt's libraries, and the program it installs runs.
#   package_check.sh CPACK CPACK_CONFIG SCRATCH
set -euo pipefail
cpack=$1 config=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
cd "$work"
"$cpack" --config "$config" -B pack >cpack.log 2>&1 || { cat cpack.log; exit 1; }
deb=$(ls pack/*.deb)
dpkg-deb -x "$deb" root
files=(usr/bin/vm612k usr/bin/vm612k-gui usr/share/applications/vm612k-gui.desktop)
for side in 16 24 32 48 64 128 256; do
    files+=("usr/share/icons/hicolor/${side}x${side}/apps/vm612k-gui.png")
done
for f in "${files[@]}"; do
    [[ -f root/$f ]] || { echo "package_check: $f is not in $deb"; exit 1; }
done
grep -qx 'Exec=vm612k-gui %f' root/usr/share/applications/vm612k-gui.desktop
grep -qx 'Icon=vm612k-gui' root/usr/share/applications/vm612k-gui.desktop
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || { echo "package_check: no Qt in Depends"; exit 1; }
root/usr/bin/vm612k-gui --help | grep -q '^usage: vm612k-gui'
echo "package_check: $(basename "$deb") holds vm612k-gui"
