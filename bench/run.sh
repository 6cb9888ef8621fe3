#!/usr/bin/env bash
# Speed of the print run's two hot spots, each as a ratio against a baseline
# measured in the same run on the same machine:
#   (a) building the job list for 100,000 files in 5,000 folders ("*.pdf" with
#       subdirectories) against find -iname '*.pdf'      target: at most 1.5
#   (b) the process runner starting a program that ends at once against a bare
#       posix_spawn + waitpid loop in C                   target: at most 1.2
# Usage: bench/run.sh [BUILD_DIR]   (default build/bench, a Release build)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${1:-$ROOT/build/bench}
ROUNDS=${ROUNDS:-5}
SPAWNS=${SPAWNS:-500}

cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_BENCH=ON \
    -DMORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target bench_collect bench_spawn -j2 >/dev/null
cc -O2 -o "$BUILD/bench/bare_spawn" "$ROOT/bench/bare_spawn.c"

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
TREE=$WORK/tree

echo "== Generating 100,000 files in 5,000 folders"
# 50 folders with 99 subfolders each, 20 files per folder: 10 .pdf, 5 .PDF, 5 .txt.
awk -v t="$TREE" 'BEGIN { for (d = 1; d <= 50; d++) { print t "/d" d; for (s = 1; s <= 99; s++) print t "/d" d "/s" s } }' \
    | xargs mkdir -p
find "$TREE" -mindepth 1 -type d | awk '{ for (i = 0; i < 10; i++) print $0 "/doc" i ".pdf";
                              for (i = 0; i < 5; i++) print $0 "/SCAN" i ".PDF";
                              for (i = 0; i < 5; i++) print $0 "/note" i ".txt" }' | xargs touch
echo "   $(find "$TREE" -type f | wc -l) files, $(find "$TREE" -mindepth 1 -type d | wc -l) folders below the root"

now_us() { echo $(( $(date +%s%N) / 1000 )); }

# best_of N command...: the shortest wall time in microseconds.
best_of() {
    local n=$1 best=-1 t0 t1
    shift
    for _ in $(seq 1 "$n"); do
        t0=$(now_us)
        "$@" >/dev/null
        t1=$(now_us)
        if [ "$best" -lt 0 ] || [ $((t1 - t0)) -lt "$best" ]; then best=$((t1 - t0)); fi
    done
    echo "$best"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
verdict() { awk -v r="$1" -v t="$2" 'BEGIN { print (r <= t ? "within target" : "OVER TARGET") }'; }

echo "== (a) job list against find"
found=$("$BUILD/bench/bench_collect" "$TREE" '*.pdf' 1 | cut -d' ' -f2)
expected=$(find "$TREE" -iname '*.pdf' | wc -l)
[ "$found" -eq "$expected" ] || { echo "job list has $found files, find $expected" >&2; exit 1; }
find "$TREE" >/dev/null # warm the cache for both
t_find=$(best_of "$ROUNDS" find "$TREE" -iname '*.pdf')
t_list=$(best_of "$ROUNDS" "$BUILD/bench/bench_collect" "$TREE" '*.pdf' 1)
r_a=$(ratio "$t_list" "$t_find")
echo "   $found files: job list ${t_list} us, find ${t_find} us, ratio $r_a ($(verdict "$r_a" 1.5), target 1.5)"

echo "== (b) runner against a bare spawn loop ($SPAWNS runs of /bin/true)"
"$BUILD/bench/bare_spawn" 200 >/dev/null
u_bare=$("$BUILD/bench/bare_spawn" "$SPAWNS")
u_runner=$("$BUILD/bench/bench_spawn" "$SPAWNS")
r_b=$(ratio "$u_runner" "$u_bare")
echo "   runner ${u_runner} us per run, bare ${u_bare} us per run, ratio $r_b ($(verdict "$r_b" 1.2), target 1.2)"
