#!/usr/bin/env bash
# Office documents in a batch against one LibreOffice call: COUNT (50) .docx
# printed by `morvane-batch --pause 0` into a disabled queue (jobs accepted and
# held, nothing printed), against `soffice --headless --convert-to pdf` over
# all of them plus the handover of each PDF (`morvane-printpdf -print-to`).
# Target: at most 1.5. ROUNDS (3) alternating rounds, the best of each side.
# Usage: bench/office.sh [BUILD_DIR] (default build/bench). Needs LibreOffice,
# a running CUPS spooler and root (or sudo) for the queue.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$ROOT/scripts/common.sh"
BUILD=${1:-$ROOT/build/bench}
COUNT=${COUNT:-50}
ROUNDS=${ROUNDS:-3}
QUEUE=MorvaneBenchOffice

if [ ! -x "$BUILD/src/morvane-batch" ] || [ ! -x "$BUILD/src/morvane-printpdf" ]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF >/dev/null
    cmake --build "$BUILD" --target morvane-batch morvane-printpdf >/dev/null
fi

WORK=$(mktemp -d)
cleanup() {
    cancel -a "$QUEUE" 2>/dev/null || true
    as_root lpadmin -x "$QUEUE" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT
as_root lpadmin -p "$QUEUE" -v cups-pdf:/ -E -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd 2>/dev/null
as_root cupsdisable "$QUEUE"

# The documents: letters of two pages each, written by LibreOffice from text.
mkdir -p "$WORK/txt" "$WORK/docs"
for i in $(seq 1 "$COUNT"); do
    for l in $(seq 1 80); do echo "Letter $i, line $l: the delivery of 3 boxes of paper and 1 toner"; done >"$WORK/txt/letter$i.txt"
done
soffice -env:UserInstallation="file://$WORK/profile-make" --headless --convert-to docx --outdir "$WORK/docs" \
    "$WORK"/txt/*.txt >/dev/null 2>&1

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
ours() {
    local t0
    t0=$(now_ms)
    # Every document must have been handed over, or the time means nothing.
    if ! "$BUILD/src/morvane-batch" -q -p "$QUEUE" --pause 0 "$WORK/docs" '*.docx' >/dev/null 2>"$WORK/batch.err"; then
        cat "$WORK/batch.err" >&2
        exit 1
    fi
    echo $(( $(now_ms) - t0 ))
}
baseline() {
    local t0
    rm -rf "$WORK/pdf" "$WORK/profile-base"
    t0=$(now_ms)
    soffice -env:UserInstallation="file://$WORK/profile-base" --headless --convert-to pdf --outdir "$WORK/pdf" \
        "$WORK"/docs/*.docx >/dev/null 2>&1
    for pdf in "$WORK"/pdf/*.pdf; do "$BUILD/src/morvane-printpdf" -print-to "$QUEUE" "$pdf" >/dev/null; done
    echo $(( $(now_ms) - t0 ))
}
best_ours=0 best_base=0
for _ in $(seq 1 "$ROUNDS"); do
    a=$(ours); b=$(baseline)
    cancel -a "$QUEUE" 2>/dev/null || true
    if [ "$best_ours" -eq 0 ] || [ "$a" -lt "$best_ours" ]; then best_ours=$a; fi
    if [ "$best_base" -eq 0 ] || [ "$b" -lt "$best_base" ]; then best_base=$b; fi
done
echo "$COUNT .docx, best of $ROUNDS: morvane-batch $best_ours ms, one soffice call + handover $best_base ms," \
    "ratio $(awk -v a="$best_ours" -v b="$best_base" 'BEGIN { printf "%.2f", a / b }') (target 1.5)," \
    "load $(cut -d' ' -f1-3 /proc/loadavg)"
