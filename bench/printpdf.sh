#!/usr/bin/env bash
# (e) The print-to program against lp for the same small PDF, both into a
# disabled queue (jobs are accepted and held, nothing is printed), on two
# kinds of queue: one with a PPD (cups-pdf's) and a plain one without (raw,
# file:/dev/null). Whole-process wall time and CPU time (user + system, from
# bash's time), PAIRS alternating pairs, medians and the medians of the paired
# ratios. Targets: wall at most 1.0, CPU at most 1.2, on both kinds.
# Two files: a whole one-page PDF (checked from its structure) and the same
# page without a cross-reference table (the PDF library must rebuild it, so
# its module is loaded).
# Usage: bench/printpdf.sh [PROGRAM]   (default build/bench/src/morvane-printpdf,
# built as a Release build when missing). Needs a running CUPS spooler and root
# (or sudo) to add and remove the held queues QUEUE and QUEUE-plain
# (QUEUE=MorvaneBench unless set).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$ROOT/scripts/common.sh"
PROGRAM=${1:-$ROOT/build/bench/src/morvane-printpdf}
PAIRS=${PAIRS:-30}
QUEUE=${QUEUE:-MorvaneBench}
PLAIN=$QUEUE-plain

if [ ! -x "$PROGRAM" ]; then
    cmake -S "$ROOT" -B "$ROOT/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF >/dev/null
    cmake --build "$ROOT/build/bench" --target morvane-printpdf >/dev/null
fi

WORK=$(mktemp -d)
cleanup() {
    for q in "$QUEUE" "$PLAIN"; do
        cancel -a "$q" 2>/dev/null || true
        as_root lpadmin -x "$q" 2>/dev/null || true
    done
    rm -rf "$WORK"
}
trap cleanup EXIT
as_root lpadmin -p "$QUEUE" -v cups-pdf:/ -E -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd \
    -o printer-is-shared=false 2>/dev/null
as_root lpadmin -p "$PLAIN" -v file:/dev/null -E -o printer-is-shared=false
as_root cupsdisable "$QUEUE" "$PLAIN"

# A one-page PDF of about 700 bytes, with its cross-reference table, and the
# same objects without one.
objects=(
    "<< /Type /Catalog /Pages 2 0 R >>"
    "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"
    "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>"
    $'<< /Length 44 >> stream\nBT /F1 24 Tf 72 720 Td (Benchmark) Tj ET\nendstream'
    "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"
)
body=$'%PDF-1.4\n'
offsets=()
for i in "${!objects[@]}"; do
    offsets+=("${#body}")
    body+="$((i + 1)) 0 obj ${objects[$i]} endobj"$'\n'
done
printf '%s' "$body" >"$WORK/norepair.pdf"
{
    printf '%s' "$body"
    printf 'xref\n0 %d\n0000000000 65535 f \n' $((${#objects[@]} + 1))
    for o in "${offsets[@]}"; do printf '%010d 00000 n \n' "$o"; done
    printf 'trailer\n<< /Root 1 0 R /Size %d >>\nstartxref\n%d\n%%%%EOF\n' $((${#objects[@]} + 1)) "${#body}"
} >"$WORK/small.pdf"
printf 'trailer << /Root 1 0 R /Size 6 >>\n%%%%EOF\n' >>"$WORK/norepair.pdf"
mv "$WORK/norepair.pdf" "$WORK/repaired.pdf"
"$PROGRAM" -print-to "$QUEUE" "$WORK/small.pdf" >/dev/null

# One run: "wall_us cpu_us" of the whole process and its children.
run() {
    local TIMEFORMAT='%3R %3U %3S' t
    t=$({ time "$@" >/dev/null 2>&1; } 2>&1) || true
    awk -v t="$t" 'BEGIN { split(t, f, " "); printf "%d %d\n", f[1] * 1e6, (f[2] + f[3]) * 1e6 }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

# measure QUEUE FILE: alternating pairs after a warm-up, so that machine load hits both alike.
measure() {
    local q=$1 file=$2 a b
    for _ in 1 2 3; do
        "$PROGRAM" -print-to "$q" "$file" >/dev/null
        lp -d "$q" "$file" >/dev/null
    done
    : >"$WORK/pairs"
    for _ in $(seq 1 "$PAIRS"); do
        a=$(run "$PROGRAM" -print-to "$q" "$file")
        b=$(run lp -d "$q" "$file")
        echo "$a $b" >>"$WORK/pairs"
    done
    local ow lw oc lc rw rc
    ow=$(awk '{ print $1 }' "$WORK/pairs" | median)
    lw=$(awk '{ print $3 }' "$WORK/pairs" | median)
    oc=$(awk '{ print $2 }' "$WORK/pairs" | median)
    lc=$(awk '{ print $4 }' "$WORK/pairs" | median)
    rw=$(awk '{ printf "%.3f\n", $1 / $3 }' "$WORK/pairs" | median)
    # A CPU time of 0 (below the clock's resolution) counts as 1 ms.
    rc=$(awk '{ printf "%.3f\n", ($2 > 0 ? $2 : 1000) / ($4 > 0 ? $4 : 1000) }' "$WORK/pairs" | median)
    printf '(e) %-6s %-13s %d pairs: wall %6.1f / %6.1f ms, paired ratio %s (target 1.0); CPU %5.1f / %5.1f ms, paired ratio %s (target 1.2)\n' \
        "$3" "$(basename "$file")" "$PAIRS" "$(awk -v v="$ow" 'BEGIN { print v / 1000 }')" \
        "$(awk -v v="$lw" 'BEGIN { print v / 1000 }')" "$rw" "$(awk -v v="$oc" 'BEGIN { print v / 1000 }')" \
        "$(awk -v v="$lc" 'BEGIN { print v / 1000 }')" "$rc"
}

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
measure "$QUEUE" "$WORK/small.pdf" PPD
measure "$PLAIN" "$WORK/small.pdf" plain
measure "$QUEUE" "$WORK/repaired.pdf" PPD
measure "$PLAIN" "$WORK/repaired.pdf" plain

# Start-up and library loading alone: neither program reads a file nor calls the spooler.
: >"$WORK/load_ours"
: >"$WORK/load_lp"
for _ in $(seq 1 "$PAIRS"); do
    run "$PROGRAM" --version | awk '{ print $1 }' >>"$WORK/load_ours"
    run lp --help | awk '{ print $1 }' >>"$WORK/load_lp"
done
echo "    start-up and loading only: morvane-printpdf --version $(median <"$WORK/load_ours") us," \
    "lp --help $(median <"$WORK/load_lp") us"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
