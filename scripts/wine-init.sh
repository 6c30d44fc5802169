#!/usr/bin/env bash
# Creates the Wine prefix once (wineboot -i), headless and bounded in time,
# and sets it up for unattended runs. Does nothing when the prefix is ready.
# Safe to call from several processes at once: the first one creates it, the
# others wait.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

# Bump when the set-up below changes, so that old prefixes are made anew.
stamp="$WINEPREFIX/.vm612k-prefix-1"
[[ -f "$stamp" ]] && exit 0

mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock -w 600 9
[[ -f "$stamp" ]] && exit 0

echo "wine: creating prefix $WINEPREFIX" >&2
timeout 30 wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
export DISPLAY=
if ! timeout 300 wineboot -i </dev/null >/dev/null 2>&1; then
    echo "wine: wineboot -i failed or timed out" >&2
    rm -rf "$WINEPREFIX"
    exit 1
fi
# A crashing program ends with a backtrace on its error output; the crash
# dialog would wait for a click that never comes.
timeout 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    </dev/null >/dev/null 2>&1
# Let the server write the registry out before anyone uses the prefix.
timeout 60 wineserver -w || true
grep -qi '"ShowCrashDialog"=dword:00000000' "$WINEPREFIX/user.reg" || {
    echo "wine: prefix set-up incomplete" >&2
    exit 1
}
touch "$stamp"
