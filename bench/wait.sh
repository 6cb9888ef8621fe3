#!/usr/bin/env bash
# (g) Following the jobs costs nothing in handing over: morvane-batch --wait
# printing 200 files into a queue whose backend ends at once, against the
# later of the same run without --wait and the last job's completion in the
# --wait run (the backend's own time stamp)            target: at most 1.1
# Needs root (the backend goes into /usr/lib/cups/backend) and the running
# spooler; the queue is the script's own and is removed at the end.
# Usage: bench/wait.sh [BUILD_DIR]   (default build/bench; the folder holds src/morvane-batch)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${1:-$ROOT/build/bench}
ROUNDS=${ROUNDS:-5}
FILES=${FILES:-200}
BATCH=$BUILD/src/morvane-batch
PRINT=$BUILD/src/morvane-printpdf
BACKEND=/usr/lib/cups/backend/m26-bench
QUEUE=m26bench$$

WORK=$(mktemp -d)
chmod 755 "$WORK"
cleanup() {
    lpadmin -x "$QUEUE" 2>/dev/null || true
    rm -f "$BACKEND"
    rm -rf "$WORK"
}
trap cleanup EXIT

# Takes the document and notes when it was done, in ns.
printf '%s\n' '#!/bin/sh' \
    '[ $# -eq 0 ] && { echo "direct m26-bench \"Unknown\" \"Morvane benchmark sink\""; exit 0; }' \
    'if [ -n "$6" ]; then cat "$6"; else cat; fi >/dev/null' \
    'date +%s%N >> "${DEVICE_URI#*:}"' >"$BACKEND"
chmod 700 "$BACKEND"
lpadmin -p "$QUEUE" -E -v "m26-bench:$WORK/done.log" -m raw 2>/dev/null

mkdir "$WORK/docs"
pdf='%PDF-1.4
1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj
2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj
3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]>>endobj
trailer<</Root 1 0 R>>
%%EOF'
for i in $(seq -w 1 "$FILES"); do printf '%s\n' "$pdf" >"$WORK/docs/f$i.pdf"; done

drain() {
    while [ -n "$(lpstat -o "$QUEUE" 2>/dev/null)" ]; do sleep 0.2; done
}
now() { date +%s%N; }
run() { "$BATCH" -q --pause 0 --program "$PRINT" -p "$QUEUE" "$@" "$WORK/docs" 2>/dev/null; }

ratios=()
for round in $(seq 1 "$ROUNDS"); do
    drain
    t0=$(now)
    run
    plain=$(($(now) - t0))
    drain
    : >"$WORK/done.log"
    t0=$(now)
    run --wait
    waited=$(($(now) - t0))
    last=$(($(sort -n "$WORK/done.log" | tail -1) - t0))
    base=$((plain > last ? plain : last))
    ratio=$(awk -v w="$waited" -v b="$base" 'BEGIN { printf "%.3f", w / b }')
    ratios+=("$ratio")
    echo "round $round: --wait $((waited / 1000000)) ms; without $((plain / 1000000)) ms," \
        "last completion $((last / 1000000)) ms; ratio $ratio"
done
median=$(printf '%s\n' "${ratios[@]}" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')
echo "(g) --wait against the later of the run without it and the last completion: median $median (target 1.1)"
