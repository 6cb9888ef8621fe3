#!/usr/bin/env bash
# (e) The print-to program against lp for the same small PDF, both into a
# disabled queue (jobs are accepted and held, nothing is printed): whole-process
# wall time, PAIRS alternating pairs, medians. Target: at most 1.2.
# Usage: bench/printpdf.sh [PROGRAM]   (default build/bench/src/morvane-printpdf,
# built as a Release build when missing). Needs a running CUPS spooler and root
# (or sudo) to add and remove the held queue MorvaneBench.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$ROOT/scripts/common.sh"
PROGRAM=${1:-$ROOT/build/bench/src/morvane-printpdf}
PAIRS=${PAIRS:-30}
QUEUE=MorvaneBench

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

# A one-page PDF of about 600 bytes.
cat >"$WORK/small.pdf" <<'EOF'
%PDF-1.4
1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj
2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj
3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >> endobj
4 0 obj << /Length 44 >> stream
BT /F1 24 Tf 72 720 Td (Benchmark) Tj ET
endstream endobj
5 0 obj << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> endobj
trailer << /Root 1 0 R /Size 6 >>
%%EOF
EOF
"$PROGRAM" -print-to "$QUEUE" "$WORK/small.pdf" >/dev/null

now_us() { echo $(( $(date +%s%N) / 1000 )); }
run_us() {
    local t0 t1
    t0=$(now_us)
    "$@" >/dev/null 2>&1 || true
    t1=$(now_us)
    echo $((t1 - t0))
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

# Warm-up of both, then alternating pairs so that machine load hits both alike.
for _ in 1 2 3; do
    "$PROGRAM" -print-to "$QUEUE" "$WORK/small.pdf" >/dev/null
    lp -d "$QUEUE" "$WORK/small.pdf" >/dev/null
done
: >"$WORK/ours"
: >"$WORK/lp"
: >"$WORK/ratios"
for _ in $(seq 1 "$PAIRS"); do
    a=$(run_us "$PROGRAM" -print-to "$QUEUE" "$WORK/small.pdf")
    b=$(run_us lp -d "$QUEUE" "$WORK/small.pdf")
    echo "$a" >>"$WORK/ours"
    echo "$b" >>"$WORK/lp"
    awk -v a="$a" -v b="$b" 'BEGIN { printf "%.3f\n", a / b }' >>"$WORK/ratios"
done
# Start-up and library loading alone: neither program reads a file nor calls the spooler.
: >"$WORK/load_ours"
: >"$WORK/load_lp"
for _ in $(seq 1 "$PAIRS"); do
    run_us "$PROGRAM" --version >>"$WORK/load_ours"
    run_us lp --help >>"$WORK/load_lp"
done
m_ours=$(median <"$WORK/ours")
m_lp=$(median <"$WORK/lp")
m_ratio=$(median <"$WORK/ratios")
echo "(e) $PAIRS pairs: morvane-printpdf median ${m_ours} us, lp median ${m_lp} us," \
    "median of paired ratios $m_ratio (target 1.2)"
echo "    start-up and loading only: morvane-printpdf --version $(median <"$WORK/load_ours") us," \
    "lp --help $(median <"$WORK/load_lp") us"
