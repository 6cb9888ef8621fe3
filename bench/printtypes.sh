#!/usr/bin/env bash
# The print-to program against lp for images and text: the same file, both
# into a disabled queue (jobs accepted and held, nothing printed), PAIRS
# alternating pairs per file, medians of the paired ratios. Target: at most 1.2
# per file. Usage: bench/printtypes.sh [PROGRAM]  (as bench/printpdf.sh). The
# samples are made with Ghostscript: a 150 dpi A4 scan as JPEG, PNG and one-page
# TIFF, and a 3-page UTF-8 text. Needs a running CUPS spooler and root (or sudo).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$ROOT/scripts/common.sh"
PROGRAM=${1:-$ROOT/build/bench/src/morvane-printpdf}
PAIRS=${PAIRS:-20}
QUEUE=MorvaneBenchTypes

if [ ! -x "$PROGRAM" ]; then
    cmake -S "$ROOT" -B "$ROOT/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF >/dev/null
    cmake --build "$ROOT/build/bench" --target morvane-printpdf >/dev/null
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

page='/Helvetica findfont 24 scalefont setfont 72 72 720 { 72 exch moveto (Delivery note, line of a scanned page) show } for showpage'
for dev in jpeg:scan.jpg png16m:scan.png tiff24nc:scan.tif; do
    gs -q -dNOPAUSE -dBATCH -dSAFER -r150 -sPAPERSIZE=a4 -sDEVICE="${dev%%:*}" -sOutputFile="$WORK/${dev#*:}" -c "$page"
done
for i in $(seq 1 200); do echo "Line $i of the delivery note: 3 boxes of paper, 1 toner, für Müller"; done >"$WORK/note.txt"

now_us() { echo $(( $(date +%s%N) / 1000 )); }
run_us() {
    local t0 t1
    t0=$(now_us)
    "$@" >/dev/null 2>&1 || true
    t1=$(now_us)
    echo $((t1 - t0))
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

for file in scan.jpg scan.png scan.tif note.txt; do
    for _ in 1 2; do
        "$PROGRAM" -print-to "$QUEUE" "$WORK/$file" >/dev/null
        lp -d "$QUEUE" "$WORK/$file" >/dev/null
    done
    : >"$WORK/ours"; : >"$WORK/lp"; : >"$WORK/ratios"
    for _ in $(seq 1 "$PAIRS"); do
        a=$(run_us "$PROGRAM" -print-to "$QUEUE" "$WORK/$file")
        b=$(run_us lp -d "$QUEUE" "$WORK/$file")
        echo "$a" >>"$WORK/ours"
        echo "$b" >>"$WORK/lp"
        awk -v a="$a" -v b="$b" 'BEGIN { printf "%.3f\n", a / b }' >>"$WORK/ratios"
    done
    echo "$file ($(stat -c %s "$WORK/$file") bytes), $PAIRS pairs: morvane-printpdf median $(median <"$WORK/ours") us," \
        "lp median $(median <"$WORK/lp") us, median of paired ratios $(median <"$WORK/ratios") (target 1.2)"
done
