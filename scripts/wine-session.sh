#!/usr/bin/env bash
# Runs a command (typically ctest) that starts Windows programs under Wine:
# wine-session.sh command [args...]. Exit code: the command's.
#
# Before the command, the Wine server of the prefix is started to stay, and
# Wine's own background processes are booted with their output going
# nowhere. Otherwise the first test program would start them, they would
# inherit its output pipe, and the test runner would wait for that pipe
# until the last Wine program of the whole run had ended. Afterwards the
# server and everything it runs are shut down, bounded in time.
set -uo pipefail
here="$(dirname "${BASH_SOURCE[0]}")"
source "$here/wine-env.sh"
"$here/wine-init.sh" || exit 1

"$vm_wineserver" -p
timeout 120 "$vm_wine" wineboot </dev/null >/dev/null 2>&1

"$@"
rc=$?

timeout 30 "$vm_wineserver" -k 2>/dev/null
timeout 30 "$vm_wineserver" -w 2>/dev/null
exit $rc
