# Sourced by the Wine scripts: the prefix and settings every Wine start here
# uses. The prefix lives in the build tree (build/wine-prefix unless
# VM_WINE_PREFIX says otherwise); Wine stays quiet and never offers to
# install Mono or Gecko, and no desktop menu entries are written.
vm_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${VM_WINE_PREFIX:-$vm_repo/build/wine-prefix}"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
