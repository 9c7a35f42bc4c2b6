#!/usr/bin/env bash
# Runs clang-tidy (the checks in .clang-tidy) over the program's code: wave/, display/,
# platform/, shell/, resources/ and tools/. Needs the compile commands of a configured
# build (default: build/default, which scripts/test.sh configures). Exits non-zero on any
# finding.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
tidy=$(command -v clang-tidy-14 || command -v clang-tidy || true)
if [ -z "$tidy" ]; then
    echo "tidy.sh: clang-tidy is missing (Debian package clang-tidy; scripts/deps.sh installs it)" >&2
    exit 1
fi
if [ ! -f "$build/compile_commands.json" ]; then
    echo "tidy.sh: no $build/compile_commands.json; configure first (cmake --preset default)" >&2
    exit 1
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
git ls-files -- 'wave/*.cpp' 'display/*.cpp' 'platform/*.cpp' 'shell/*.cpp' 'resources/*.cpp' \
    'tools/*.cpp' |
    xargs -P "$(nproc)" -n 4 "$tidy" -p "$build" --quiet >"$log" 2>&1 || true
findings=$(grep -c -E '(warning|error): |Error while processing' "$log" || true)
if [ "$findings" -ne 0 ]; then
    grep -E -A3 '(warning|error): |Error while processing' "$log"
    echo "tidy.sh: $findings findings" >&2
    exit 1
fi
echo "tidy.sh: no findings in $(git ls-files -- 'wave/*.cpp' 'display/*.cpp' 'platform/*.cpp' 'shell/*.cpp' 'resources/*.cpp' 'tools/*.cpp' | wc -l) files"
