#!/usr/bin/env bash
# Builds the benchmarks and prints every figure of the reader: speed against libsndfile
# and memcpy, peak memory of single loads, a header claiming 2^32-1 frames, 100 loads into
# one record and 1000 loads without a descriptor left open; and, in the bench preset's
# tree, the renderer's: its strided picture against a full load's, its peak memory for
# files of any size and the time of a thumbnail.
#
#   bench/run.sh [BUILD_DIR] [extra reader_bench flags]
#
# BUILD_DIR defaults to build/bench (the bench preset's tree). The measurement files,
# about 1.3 GiB plus 1.7 GiB for the series and 4.1 GiB for the renderer, are written once
# into BUILD_DIR/bench/data.
# Installs nothing: it names what is missing (scripts/deps.sh installs it). Exits 0 when
# it measured, whatever the figures; 1, with the reason, when something cannot run.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/bench}
shift || true
repetitions=${VOQ_BENCH_REPETITIONS:-5}

missing=()
for tool in cmake ninja pkg-config /usr/bin/time; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
pkg-config --exists sndfile 2>/dev/null || missing+=("libsndfile1-dev")
[ -e /usr/include/benchmark/benchmark.h ] || missing+=("libbenchmark-dev")
if [ ${#missing[@]} -ne 0 ]; then
    echo "run.sh: missing: ${missing[*]} (bash scripts/deps.sh installs them)" >&2
    exit 1
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if [ "$build" = build/bench ]; then
    configure=(cmake --preset bench)
else
    configure=(cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
               -DVOQ_BUILD_TESTS=OFF -DVOQ_BUILD_GUI=OFF -DVOQ_BUILD_BENCHMARKS=ON)
fi
if ! { "${configure[@]}" && cmake --build "$build" --target reader_bench reader_memory; } \
        >"$log" 2>&1; then
    cat "$log"
    echo "run.sh: the build failed" >&2
    exit 1
fi

bin=$build/bench
data=$build/bench/data
mkdir -p "$data"
missed=0
verdict() { # records a missed target (2) and stops on a failure to run (1)
    case $1 in 0) ;; 2) missed=1 ;; *) echo "run.sh: a measurement could not run" >&2; exit 1 ;; esac
}

echo "== machine =="
echo "cores: $(nproc); load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "transparent huge pages: $(cat /sys/kernel/mm/transparent_hugepage/enabled 2>/dev/null || echo unknown)"
"$bin/reader_memory" generate "$data" >/dev/null

echo "== speed: $repetitions repetitions, medians =="
status=0
"$bin/reader_bench" --benchmark_repetitions="$repetitions" "$@" "$data" || status=$?
verdict "$status"

echo "== peak RSS of a process that loads one file (/usr/bin/time -v) =="
# Targets in KiB: 1.1 GiB for the 16-bit stereo file, 560 MiB for the 8-bit mono one.
for file in "stereo16 1153433 1.1 GiB" "mono8 573440 560 MiB"; do
    read -r name limitKiB limit unit <<<"$file"
    kib=$(/usr/bin/time -v "$bin/reader_memory" load "$data/$name.wav" 2>&1 >/dev/null |
          sed -n 's/.*Maximum resident set size (kbytes): //p')
    if [ "$kib" -le "$limitKiB" ]; then result=met; else result=MISSED; missed=1; fi
    awk -v n="$name" -v k="$kib" -v l="$limit $unit" -v r="$result" \
        'BEGIN { printf "%-9s %8d KiB = %7.1f MiB  (target <= %s: %s)\n", n, k, k / 1024, l, r }'
done

echo "== a 200-byte file claiming 2^32-1 frames, then 840 strided reads =="
status=0; "$bin/reader_memory" huge-claim "$data" || status=$?; verdict "$status"
echo "== 100 files of 1 to 32 MiB loaded in a row into one record =="
status=0; "$bin/reader_memory" series "$data" || status=$?; verdict "$status"
echo "== 1000 loads, rejected ones included =="
status=0; "$bin/reader_memory" descriptors "$data" || status=$?; verdict "$status"

# The renderer needs the Qt parts, which the bench preset builds.
if [ "$build" = build/bench ]; then
    if ! cmake --build "$build" --target render_bench >"$log" 2>&1; then
        cat "$log"
        echo "run.sh: the build of render_bench failed" >&2
        exit 1
    fi
    echo "== the renderer: strided against full load, peak memory, thumbnails =="
    status=0; "$bin/render_bench" "$data" || status=$?; verdict "$status"
fi

echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
if [ "$missed" -ne 0 ]; then
    echo "run.sh: measured; a target was missed (see MISSED above)"
else
    echo "run.sh: measured; every target met"
fi
