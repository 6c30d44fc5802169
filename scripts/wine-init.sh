#!/usr/bin/env bash
# Creates the Wine prefix once (wineboot -i), headless and bounded in time.
# Does nothing when the prefix is already there. Safe to call from several
# processes at once: the first one creates it, the others wait.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

[[ -f "$WINEPREFIX/system.reg" ]] && exit 0

mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock -w 600 9
[[ -f "$WINEPREFIX/system.reg" ]] && exit 0

echo "wine: creating prefix $WINEPREFIX" >&2
rm -rf "$WINEPREFIX"
if ! DISPLAY= timeout 300 wineboot -i </dev/null >/dev/null 2>&1; then
    echo "wine: wineboot -i failed or timed out" >&2
    rm -rf "$WINEPREFIX"
    exit 1
fi
# Let the server write the registry out before anyone uses the prefix.
timeout 60 wineserver -w || true
[[ -f "$WINEPREFIX/system.reg" ]] || { echo "wine: prefix incomplete" >&2; exit 1; }
