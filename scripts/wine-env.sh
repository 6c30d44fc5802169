# Sourced by the Wine scripts: the Wine, the prefix and the settings every
# Wine start here uses. VM_WINE_ARCH chooses the Wine:
#   win32 (the default)  the system's `wine`, in a 32-bit prefix,
#                        build/wine-prefix;
#   win64                wine64 itself, in a 64-bit prefix of its own,
#                        build/wine-prefix-win64, for the 64-bit test build
#                        on machines that cannot run 32-bit programs.
# VM_WINE_PREFIX names another prefix. Wine stays quiet and never offers to
# install Mono or Gecko, and no desktop menu entries are written.
vm_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
case ${VM_WINE_ARCH:-win32} in
    win32)
        export WINEARCH=win32
        vm_wine=wine
        vm_wineserver=wineserver
        vm_default_prefix=$vm_repo/build/wine-prefix
        ;;
    win64)
        export WINEARCH=win64
        # Debian's wine64 package: the loader and its server, without the
        # wrappers that prefer a 32-bit Wine when one is installed.
        vm_wine=/usr/lib/wine/wine64
        vm_wineserver=/usr/lib/wine/wineserver64
        export WINELOADER=$vm_wine
        export WINESERVER=$vm_wineserver
        vm_default_prefix=$vm_repo/build/wine-prefix-win64
        ;;
    *)
        echo "wine: VM_WINE_ARCH must be win32 or win64, not '$VM_WINE_ARCH'" >&2
        return 2
        ;;
esac
export WINEPREFIX="${VM_WINE_PREFIX:-$vm_default_prefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
