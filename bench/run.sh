#!/usr/bin/env bash
# Builds the benchmarks and prints every figure of the reader: the state of the machine;
# the load's speed beside this machine's floors (reading the file, faulting in the arrays,
# both, and reading while writing every byte of the arrays; on one and on two threads), the
# one-thread load, libsndfile and memcpy; one thread against two for small files; the load
# on one CPU; peak memory of single loads; a header claiming 2^32-1 frames; 100 loads into
# one record; 1000 loads without a descriptor or a thread left behind; the formats the
# reader converts to 16-bit values against 16-bit files, and the 8- and 16-bit loads
# against an earlier tree's reader when VOQ_BENCH_BASELINE names its source (a worktree of
# an earlier commit: git worktree add ../base COMMIT); and, in the bench
# preset's tree, the viewer's figures (Open to drawn against a full load, right after memory
# was used and after it lay idle; its peak memory with 1 GiB and 4 GiB shown, the latter
# under a 1 GiB memory limit; Esc to the last read of a file served at 20 MiB/s) and the
# renderer's: its strided picture against a full load's, its peak memory for files of any
# size, the time of a thumbnail, and its confined reader process against reading in its
# own process, for 1 GiB and for a small file.
#
#   bench/run.sh [BUILD_DIR] [extra reader_bench flags]
#
# BUILD_DIR defaults to build/bench (the bench preset's tree). The measurement files,
# about 1.4 GiB for the speed, 1.7 GiB for the series of 100 and 4.1 GiB for the renderer,
# are written once into BUILD_DIR/bench/data (the viewer reads the renderer's 4 GiB file).
# VOQ_BENCH_REPETITIONS (default 6) sets the repetitions of each timed run; the first is
# shown apart as the cold one.
# Installs nothing: it names what is missing (scripts/deps.sh installs it). Exits 0 when
# it measured, whatever the figures (a missed target prints MISSED); 1, with the reason,
# when something cannot run.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/bench}
shift || true
repetitions=${VOQ_BENCH_REPETITIONS:-6}

missing=()
for tool in cmake ninja pkg-config taskset /usr/bin/time; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
pkg-config --exists sndfile 2>/dev/null || missing+=("libsndfile1-dev")
pkg-config --exists fuse3 2>/dev/null || missing+=("libfuse3-dev")
[ -e /usr/include/benchmark/benchmark.h ] || missing+=("libbenchmark-dev")
if [ ${#missing[@]} -ne 0 ]; then
    echo "run.sh: missing: ${missing[*]} (bash scripts/deps.sh installs them)" >&2
    exit 1
fi
log=$(mktemp)
out=$(mktemp) # everything measured, searched for missed targets at the end
trap 'rm -f "$log" "$out"' EXIT
if [ "$build" = build/bench ]; then
    configure=(cmake --preset bench)
else
    configure=(cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
               -DVOQ_BUILD_TESTS=OFF -DVOQ_BUILD_GUI=OFF -DVOQ_BUILD_BENCHMARKS=ON)
fi
configure+=(-DVOQ_BENCH_BASELINE_SOURCE="${VOQ_BENCH_BASELINE:-}")
if ! { "${configure[@]}" &&
       cmake --build "$build" --target reader_bench reader_memory format_bench; } \
        >"$log" 2>&1; then
    cat "$log"
    echo "run.sh: the build failed" >&2
    exit 1
fi

bin=$build/bench
data=$build/bench/data
mkdir -p "$data"

# Runs one measuring program, showing its output and keeping it for the verdict. Exit
# status 0 or 2 (a missed target) means that it measured; anything else ends the run.
measure() {
    local status=0
    "$@" 2>&1 | tee -a "$out" || status=$?
    if [ "$status" -ne 0 ] && [ "$status" -ne 2 ]; then
        echo "run.sh: a measurement could not run: $*" >&2
        exit 1
    fi
}

echo "== machine =="
echo "cores: $(nproc); load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "transparent huge pages: $(cat /sys/kernel/mm/transparent_hugepage/enabled 2>/dev/null || echo unknown)"
"$bin/reader_memory" generate "$data" >/dev/null

echo "== speed: $repetitions repetitions of each run =="
measure "$bin/reader_bench" --repetitions="$repetitions" "$@" "$data"

echo "== formats: 24, 32 and float bits against 16 per byte, A-law and mu-law per sample; 8 and 16 bits against ${VOQ_BENCH_BASELINE:-no earlier reader (set VOQ_BENCH_BASELINE)} =="
measure "$bin/format_bench" "$data"

echo "== on one CPU (taskset -c 0): the load picks one thread and is no slower than the one-thread load =="
measure taskset -c 0 "$bin/reader_bench" --repetitions="$repetitions" --only=stereo16/load "$data"

echo "== peak RSS of a process that loads one file (/usr/bin/time -v) =="
# The arrays the load writes and at most 32 MiB more: both arrays of the 16-bit stereo
# file; the left array only of the 8-bit mono one, whose right array is never written.
for file in "stereo16 1081344 1 GiB + 32 MiB" "mono8 557056 512 MiB + 32 MiB"; do
    read -r name limitKiB limit <<<"$file"
    if ! /usr/bin/time -v -o "$log" "$bin/reader_memory" load "$data/$name.wav" >/dev/null; then
        echo "run.sh: the load of $data/$name.wav failed" >&2
        exit 1
    fi
    kib=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$log")
    if [ "$kib" -le "$limitKiB" ]; then result=met; else result=MISSED; fi
    awk -v n="$name" -v k="$kib" -v l="$limit" -v r="$result" \
        'BEGIN { printf "%-9s %8d KiB = %7.1f MiB  (target <= %s: %s)\n", n, k, k / 1024, l, r }' |
        tee -a "$out"
done

echo "== a 200-byte file claiming 2^32-1 frames, then 840 strided reads =="
measure "$bin/reader_memory" huge-claim "$data"
echo "== 100 files of 1 to 32 MiB loaded in a row into one record =="
measure "$bin/reader_memory" series "$data"
echo "== 1000 loads, 8 MiB (two threads) and rejected ones =="
measure "$bin/reader_memory" descriptors "$data"

# The viewer and the renderer need the Qt parts, which the bench preset builds.
if [ "$build" = build/bench ]; then
    if ! cmake --build "$build" --target render_bench viewer_bench >"$log" 2>&1; then
        cat "$log"
        echo "run.sh: the build of render_bench or viewer_bench failed" >&2
        exit 1
    fi
    echo "== the viewer: Open to drawn against a full load, peak memory with 1 GiB and 4 GiB shown =="
    measure env QT_QPA_PLATFORM=offscreen "$bin/viewer_bench" open "$data"
    echo "== the viewer: Esc during a load from a file served at 20 MiB/s =="
    if [ -e /dev/fuse ]; then
        measure env QT_QPA_PLATFORM=offscreen "$bin/viewer_bench" cancel "$data"
    else
        echo "skipped: no /dev/fuse here, so no slow file can be served"
    fi
    echo "== the renderer: strided against full load, peak memory, thumbnails, reader process =="
    measure "$bin/render_bench" "$data" # it ends with the load average
else
    echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
fi
if grep -q MISSED "$out"; then
    echo "run.sh: measured; a target was missed (see MISSED above)"
else
    echo "run.sh: measured; every target met"
fi
