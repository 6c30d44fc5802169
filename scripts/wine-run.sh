#!/usr/bin/env bash
# Runs one Windows program under Wine: wine-run.sh program.exe [args...].
# The exit code is the program's. Programs that open windows need an X
# display: run them under xvfb-run (make test does).
set -euo pipefail
here="$(dirname "${BASH_SOURCE[0]}")"
source "$here/wine-env.sh"
"$here/wine-init.sh"
exec "$vm_wine" "$@" </dev/null
