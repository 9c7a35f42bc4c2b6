#!/usr/bin/env bash
# Installs what is missing, builds the viewer and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

log=build/run-build.log
mkdir -p build
if ! { cmake --preset default && cmake --build --preset default; } >"$log" 2>&1; then
    cat "$log"
    echo "run.sh: the build failed (log above, also in $log)" >&2
    exit 1
fi

viewer=build/default/shell/voq006
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run.sh: no display to open a window on; run it under a virtual one: xvfb-run -a scripts/run.sh" >&2
    exit 1
fi
exec "$viewer" "$@"
