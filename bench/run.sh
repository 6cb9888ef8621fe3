#!/usr/bin/env bash
# Speed of the print run's two hot spots, each as a ratio against a baseline
# measured in the same run on the same machine:
#   (a) building the job list for 100,000 files in 5,000 folders ("*.pdf" with
#       subdirectories) against find -iname '*.pdf'      target: at most 1.5
#   (b) the process runner starting a program that ends at once against a bare
#       posix_spawn + waitpid loop in C                   target: at most 1.2
#   (c) morvane-batch --pause 0 printing 200 files through a print program
#       that ends at once against a shell loop starting it 200 times
#                                                         target: at most 1.1
#   (d) morvane-batch --dry-run on the tree of (a) against find -iname '*.pdf',
#       and its peak memory                               target: at most 1.5
#   (e) peak memory of a print run over all 100,000 files ("*.*", RUN_CALLS
#       calls of /bin/true, default all; no target, recorded in the README)
# (c) needs a CUPS queue (PRINTER, default PDF); nothing reaches it.
# Usage: bench/run.sh [BUILD_DIR]   (default build/bench, a Release build)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${1:-$ROOT/build/bench}
ROUNDS=${ROUNDS:-5}
SPAWNS=${SPAWNS:-500}

cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_BENCH=ON \
    -DMORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target bench_collect bench_spawn morvane-batch bench_run -j2 >/dev/null
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

BATCH=$BUILD/src/morvane-batch
echo "== (c) morvane-batch against a shell loop (200 files, a print program that ends at once)"
mkdir -p "$WORK/c"
for i in $(seq 1 200); do : > "$WORK/c/f$i.pdf"; done
printf '#!/bin/sh\nexit 0\n' > "$WORK/quick"
chmod +x "$WORK/quick"
PRINTER=${PRINTER:-PDF}
shell_loop() { for f in "$WORK"/c/*.pdf; do "$WORK/quick" -print-to "$PRINTER" "$f"; done; }
t_loop=$(best_of "$ROUNDS" shell_loop)
t_batch=$(best_of "$ROUNDS" "$BATCH" -q --pause 0 -p "$PRINTER" --program "$WORK/quick" "$WORK/c")
r_c=$(ratio "$t_batch" "$t_loop")
echo "   morvane-batch ${t_batch} us, shell loop ${t_loop} us, ratio $r_c ($(verdict "$r_c" 1.1), target 1.1)"

echo "== (d) morvane-batch --dry-run against find"
lines=$("$BATCH" --dry-run -s "$TREE" '*.pdf' | wc -l)
[ "$lines" -eq "$expected" ] || { echo "dry run has $lines lines, find $expected" >&2; exit 1; }
t_dry=$(best_of "$ROUNDS" "$BATCH" --dry-run -s "$TREE" '*.pdf')
r_d=$(ratio "$t_dry" "$t_find")
peak=$( { /usr/bin/time -f '%M' "$BATCH" --dry-run -s "$TREE" '*.pdf' >/dev/null; } 2>&1 | tail -1)
echo "   dry run ${t_dry} us, find ${t_find} us, ratio $r_d ($(verdict "$r_d" 1.5), target 1.5); peak memory ${peak} KiB"
echo "== (e) peak memory of a print run over the tree (${RUN_CALLS:-all} calls of /bin/true)"
"$BUILD/bench/bench_run" "$TREE" '*.*' /bin/true ${RUN_CALLS:-} | awk '{ printf "   %s files, %s calls: peak %.1f MiB at start, %.1f MiB with the job list, %.1f MiB at the end\n", $2, $4, $6 / 1024, $8 / 1024, $10 / 1024 }'
