#!/usr/bin/env bash
# Runs a command (typically ctest) that starts Windows programs under Wine,
# then waits, bounded, until the Wine server of the prefix has shut down, so
# that no Wine process outlives the command (or the X server it used).
# Exit code: the command's.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
"$@"
rc=$?
timeout 30 wineserver -w 2>/dev/null || timeout 10 wineserver -k 2>/dev/null || true
exit $rc
