#!/usr/bin/env bash
# A batch of FILES (1,000) real PDFs, the ones Debian ships under
# /usr/share/cups/data and /usr/share/doc copied as often as needed, into a
# held queue of a spooler of the bench's own (a disabled cups-pdf queue: every
# job is accepted and kept, nothing printed; the system spooler's job limit
# is left alone):
#   (i)  morvane-batch -q --pause 0, whose print program takes all files in
#        one process, against a shell loop of "pdfinfo FILE && lp -d QUEUE FILE"
#        (poppler's check of each file before it is spooled, as ours makes it)
#                                                      target: at most 0.25
#        for reference also: the plain lp loop without the check, and
#        morvane-batch --start-per-file (one print program start per file;
#        SINGLE=0 leaves it out)
#   (j)  the same files moved into a watched folder at once (one mv), until
#        the last one's record is in the report, against (i)'s batch
#                                                      target: at most 1.1
# Every side's result is checked: a job in the queue for each file, and a
# "printed" record for each file in morvane-batch's reports.
# Usage: bench/batch.sh [BUILD_DIR]   (default build/bench; a Release build of
# morvane-batch and morvane-printpdf is made when missing). Needs root (the
# cups-pdf backend of the bench's spooler runs as root).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${1:-$ROOT/build/bench}
FILES=${FILES:-1000}
QUEUE=m33b-bench
QUIET=${QUIET:-1500}
if [ ! -x "$BUILD/src/morvane-batch" ] || [ ! -x "$BUILD/src/morvane-printpdf" ]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF >/dev/null
    cmake --build "$BUILD" --target morvane-batch morvane-printpdf -j2 >/dev/null
fi
BATCH=$BUILD/src/morvane-batch
load() { echo "   load: $(cut -d' ' -f1-3 /proc/loadavg)"; }

WORK=$(mktemp -d)
CUPSD=
WATCHER=
cleanup() {
    [ -n "$WATCHER" ] && kill "$WATCHER" 2>/dev/null && wait "$WATCHER" 2>/dev/null
    [ -n "$CUPSD" ] && kill "$CUPSD" 2>/dev/null && wait "$CUPSD" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
export HOME=$WORK/home XDG_DATA_HOME=$WORK/home/data
mkdir -p "$HOME" "$WORK/pdfs" "$WORK/in" "$WORK/stage"

# The bench's own spooler on a free loopback port, without a job limit.
PORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
S=$WORK/cups
mkdir -p "$S"/{root/ssl,spool,cache,state,log,tmp}
chmod 01777 "$S/tmp"
printf 'ServerRoot %s/root\nRequestRoot %s/spool\nCacheDir %s/cache\nStateDir %s/state\nTempDir %s/tmp\nErrorLog %s/log/error_log\nAccessLog %s/log/access_log\nPageLog %s/log/page_log\n' \
    "$S" "$S" "$S" "$S" "$S" "$S" "$S" "$S" >"$S/cups-files.conf"
printf 'Listen 127.0.0.1:%s\nLogLevel warn\nMaxJobs 0\nBrowsing Off\nWebInterface No\nDefaultPolicy open\n<Policy open>\n<Limit All>\nOrder deny,allow\n</Limit>\n</Policy>\n<Location />\nOrder allow,deny\nAllow all\n</Location>\n' \
    "$PORT" >"$S/cupsd.conf"
cupsd -f -c "$S/cupsd.conf" -s "$S/cups-files.conf" &
CUPSD=$!
export CUPS_SERVER=127.0.0.1:$PORT
for _ in $(seq 1 100); do lpstat -r 2>/dev/null | grep -q "is running" && break; sleep 0.1; done
lpadmin -p "$QUEUE" -v cups-pdf:/ -E -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd 2>/dev/null
cupsdisable "$QUEUE"

# The real PDFs that poppler opens, copied round robin into FILES files.
sources=()
while IFS= read -r -d '' f; do
    pdfinfo "$f" >/dev/null 2>&1 && sources+=("$f")
done < <(find /usr/share/cups/data /usr/share/doc -name '*.pdf' -type f -print0 2>/dev/null)
[ ${#sources[@]} -gt 0 ] || { echo "no PDF found under /usr/share" >&2; exit 1; }
for i in $(seq 1 "$FILES"); do
    cp "${sources[$(( (i - 1) % ${#sources[@]} ))]}" "$WORK/pdfs/$(printf 'f%04d.pdf' "$i")"
done
echo "== $FILES files copied from ${#sources[@]} PDFs ($(du -sh "$WORK/pdfs" | cut -f1)), queue $QUEUE on $CUPS_SERVER"

held() { lpstat -o "$QUEUE" 2>/dev/null | wc -l; }
clear_queue() { cancel -a "$QUEUE"; }
now() { echo "$EPOCHREALTIME"; }
ms() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.0f", (b - a) * 1000 }'; }
expect_held() { # expect_held LABEL
    local n
    n=$(held)
    [ "$n" -eq "$FILES" ] || { echo "$1: $n jobs held instead of $FILES" >&2; exit 1; }
    clear_queue
}
expect_printed() { # expect_printed LABEL REPORT
    local n
    n=$(grep -c '"result":"printed"' "$2" || true)
    [ "$n" -eq "$FILES" ] || { echo "$1: $n files printed instead of $FILES" >&2; exit 1; }
}

# A warm-up of each side, so that the file cache and the spooler are the same for all.
"$BATCH" -q --pause 0 -p "$QUEUE" "$WORK/pdfs" 'f000*.pdf' 2>/dev/null || true
for f in "$WORK"/pdfs/f000*.pdf; do pdfinfo "$f" >/dev/null && lp -d "$QUEUE" "$f" >/dev/null; done
clear_queue

echo "== (i) $FILES files: morvane-batch against a shell loop of lp"
load
t0=$(now)
"$BATCH" -q --pause 0 -p "$QUEUE" --report "$WORK/batch.jsonl" "$WORK/pdfs" '*.pdf' 2>"$WORK/batch.err"
t1=$(now)
expect_printed "morvane-batch" "$WORK/batch.jsonl"
expect_held "morvane-batch"
batch=$(ms "$t0" "$t1")

t0=$(now)
for f in "$WORK"/pdfs/*.pdf; do pdfinfo "$f" >/dev/null 2>&1 && lp -d "$QUEUE" "$f" >/dev/null; done
t1=$(now)
expect_held "pdfinfo && lp"
checked=$(ms "$t0" "$t1")

t0=$(now)
for f in "$WORK"/pdfs/*.pdf; do lp -d "$QUEUE" "$f" >/dev/null; done
t1=$(now)
expect_held "lp"
plain=$(ms "$t0" "$t1")

single=skipped
[ "${SINGLE:-1}" = 1 ] && {
t0=$(now)
"$BATCH" -q --pause 0 --start-per-file -p "$QUEUE" --report "$WORK/single.jsonl" "$WORK/pdfs" '*.pdf' 2>/dev/null
t1=$(now)
expect_printed "morvane-batch --start-per-file" "$WORK/single.jsonl"
expect_held "morvane-batch --start-per-file"
single=$(ms "$t0" "$t1")
}
load
r=$(awk -v a="$batch" -v b="$checked" 'BEGIN { printf "%.2f", a / b }')
echo "   morvane-batch ${batch} ms, pdfinfo && lp loop ${checked} ms: ratio $r" \
    "($(awk -v r="$r" 'BEGIN { print (r <= 0.25 ? "within target" : "OVER TARGET") }'), target 0.25)"
echo "   for reference: plain lp loop ${plain} ms (ratio $(awk -v a="$batch" -v b="$plain" 'BEGIN { printf "%.2f", a / b }')," \
    "morvane-batch --start-per-file: ${single}$([ "$single" = skipped ] || echo ' ms'))"

echo "== (j) the same $FILES files moved into a watched folder at once"
load
cp "$WORK"/pdfs/*.pdf "$WORK/stage/"
# Older than the quiet time when they arrive: each is taken as it is found.
sleep $(( QUIET / 1000 + 1 ))
"$BATCH" --watch -q --pause 0 --quiet-time "$QUIET" -p "$QUEUE" --report "$WORK/watch.jsonl" "$WORK/in" 2>"$WORK/watch.err" &
WATCHER=$!
for _ in $(seq 1 100); do
    compgen -G "$XDG_DATA_HOME/morvane/watch/*.state" >/dev/null && break
    sleep 0.1
done
: >"$WORK/watch.jsonl"
mkfifo "$WORK/tick"
exec 3<>"$WORK/tick"
t0=$(now)
mv "$WORK"/stage/*.pdf "$WORK/in/"
# Only shell builtins while it runs, so the poll costs the watch nothing.
for ((tick = 0; tick < 12000; ++tick)); do
    mapfile -t lines <"$WORK/watch.jsonl"
    ((${#lines[@]} >= FILES)) && break
    read -r -t 0.02 -u 3 || true
done
t1=$(now)
kill "$WATCHER"
wait "$WATCHER" || true
WATCHER=
expect_printed "the watch" "$WORK/watch.jsonl"
expect_held "the watch"
watch=$(ms "$t0" "$t1")
r=$(awk -v a="$watch" -v b="$batch" 'BEGIN { printf "%.2f", a / b }')
echo "   watch ${watch} ms, batch ${batch} ms: ratio $r" \
    "($(awk -v r="$r" 'BEGIN { print (r <= 1.1 ? "within target" : "OVER TARGET") }'), target 1.1)"
load
