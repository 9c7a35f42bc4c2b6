#!/usr/bin/env bash
# Installs what is missing, builds the project and runs every test (unit, gui, e2e, package).
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

# Warnings are errors in CI, where the compiler is the one the project is written for.
werror=OFF
if [ -n "${CI:-}" ]; then werror=ON; fi

log=build/test-build.log
mkdir -p build
if ! { cmake --preset default -DVOQ_WARNINGS_AS_ERRORS="$werror" &&
       cmake --build --preset default; } >"$log" 2>&1; then
    cat "$log"
    echo "test.sh: the build failed (log above, also in $log)" >&2
    exit 1
fi

ctest --preset default --parallel 2
