#!/usr/bin/env bash
# Runs a command on the X display there is, or on a virtual one of its own
# (Xvfb) when there is none.
set -euo pipefail
if [[ -n ${DISPLAY:-} ]]; then
    exec "$@"
fi
exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$@"
