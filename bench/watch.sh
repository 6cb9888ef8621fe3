#!/usr/bin/env bash
# Speed of morvane-batch --watch:
#   (e) time from a file's close to the start of its print program, median of
#       COUNT files written one at a time        target: the quiet time + 100 ms
#   (f) 1,000 files dropped into the folder at once (one mv) until the last is
#       handed over, against a one-off run of the same files: files written
#       earlier (older than the quiet time), and, as (f'), files written just
#       before the move, which wait the quiet time once
#                                                 target: at most 1.1
#   (g) CPU of an idle watch with IDLE files in the folder
#   (h) the content digest of DIGEST files of 1 MB
# Needs a CUPS queue (PRINTER, default PDF); the stand-in print program never
# hands anything to it. The load average is printed with each part.
# Usage: bench/watch.sh [BUILD_DIR]   (default build/bench; built if missing)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${1:-$ROOT/build/bench}
COUNT=${COUNT:-50}
FILES=${FILES:-1000}
ROUNDS=${ROUNDS:-3}
PRINTER=${PRINTER:-PDF}
if [ ! -x "$BUILD/src/morvane-batch" ] || [ ! -x "$BUILD/bench/bench_digest" ]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF \
        -DMORVANE_BUILD_BENCH=ON >/dev/null
    cmake --build "$BUILD" --target morvane-batch bench_digest -j2 >/dev/null
fi
BATCH=$BUILD/src/morvane-batch
QUIET=${QUIET:-1500}
load() { echo "   load: $(cut -d' ' -f1-3 /proc/loadavg)"; }

WORK=$(mktemp -d)
WATCHER=
cleanup() {
    [ -n "$WATCHER" ] && kill "$WATCHER" 2>/dev/null && wait "$WATCHER" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
export HOME=$WORK/home XDG_DATA_HOME=$WORK/home/data
mkdir -p "$HOME" "$WORK/in"

# The stand-in print program notes the file and the moment it started.
printf '#!/bin/bash\necho "$3 $EPOCHREALTIME" >> "%s/started"\n' "$WORK" > "$WORK/print"
chmod +x "$WORK/print"

start_watch() {
    : > "$WORK/started"
    "$BATCH" --watch -q --pause 0 --quiet-time "$QUIET" -p "$PRINTER" --program "$WORK/print" "$WORK/in" 2>"$WORK/watch.err" &
    WATCHER=$!
    # Ready once its state file exists.
    for _ in $(seq 1 100); do
        compgen -G "$XDG_DATA_HOME/morvane/watch/*.state" >/dev/null && return
        sleep 0.1
    done
    echo "the watch did not start: $(cat "$WORK/watch.err")" >&2
    exit 1
}
stop_watch() { kill "$WATCHER"; wait "$WATCHER" || true; WATCHER=; rm -rf "$XDG_DATA_HOME"; }
# Waits until N print programs started (up to 10 minutes). Only shell
# builtins: a poll that starts programs of its own would slow the runs it
# measures, and only the watch's side (the one-off run is simply waited for).
mkfifo "$WORK/tick"
exec 3<>"$WORK/tick"
wait_started() { # wait_started N
    local lines
    for ((tick = 0; tick < 12000; ++tick)); do
        mapfile -t lines < "$WORK/started"
        (( ${#lines[@]} >= $1 )) && return
        read -r -t 0.05 -u 3 || true
    done
    echo "only ${#lines[@]} of $1 files were handed over" >&2
    exit 1
}

echo "== (e) close to print-program start, $COUNT files written one at a time"
load
start_watch
: > "$WORK/closed"
for i in $(seq 1 "$COUNT"); do
    printf '%%PDF-1.4\n%%%%EOF\n' > "$WORK/in/e$i.pdf"
    echo "$WORK/in/e$i.pdf $EPOCHREALTIME" >> "$WORK/closed"
    wait_started "$i"
    sleep 0.05
done
stop_watch
median=$(join <(sort "$WORK/closed") <(sort "$WORK/started") | awk '{ print ($3 - $2) * 1000 }' | sort -n \
    | awk '{ v[NR] = $1 } END { printf "%.1f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
echo "   median ${median} ms ($(awk -v m="$median" -v q="$QUIET" 'BEGIN { print (m < q + 100 ? "within target" : "OVER TARGET") }'), target $((QUIET + 100)) ms)"

# Both runs end at the start of their last print program (the stand-in's own
# stamp), so the polling here does not count; rounds alternate the two so a
# change in the machine's load meets both.
rm -f "$WORK"/in/*
mkdir -p "$WORK/stage"
last_start() { tail -n 1 "$WORK/started" | awk '{ print $NF }'; }
burst() { # burst LABEL AGE_S: files last changed AGE_S seconds before the move
    local ratios=() round t0 w t2 o r wcpu ocpu
    echo "== ($1) $FILES files dropped at once against a one-off run of the same files, $ROUNDS rounds"
    load
    for round in $(seq 1 "$ROUNDS"); do
        rm -f "$WORK"/in/*
        for i in $(seq 1 "$FILES"); do printf '%%PDF-1.4\n%%%%EOF\n' > "$WORK/stage/f$i.pdf"; done
        start_watch
        # Written earlier: as old as that when they are moved in.
        (( $2 > 0 )) && sleep "$2"
        t0=$EPOCHREALTIME
        mv "$WORK"/stage/*.pdf "$WORK/in/"
        wait_started "$FILES"
        w=$(awk -v a="$t0" -v b="$(last_start)" 'BEGIN { printf "%.0f", (b - a) * 1000 }')
        # Its own CPU time, without the print programs (the one-off run's by
        # perf stat, counting only, where perf is there).
        wcpu=$(( $(awk '{ print $14 + $15 }' "/proc/$WATCHER/stat") * 1000 / $(getconf CLK_TCK) ))
        stop_watch
        : > "$WORK/started"
        t2=$EPOCHREALTIME
        if command -v perf >/dev/null; then
            perf stat --no-inherit -x, -e task-clock -o "$WORK/cpu" \
                "$BATCH" -q --pause 0 -p "$PRINTER" --program "$WORK/print" "$WORK/in" 2>/dev/null
        else
            "$BATCH" -q --pause 0 -p "$PRINTER" --program "$WORK/print" "$WORK/in" 2>/dev/null
        fi
        [ "$(wc -l < "$WORK/started")" -eq "$FILES" ] || { echo "the one-off run printed $(wc -l < "$WORK/started")" >&2; exit 1; }
        o=$(awk -v a="$t2" -v b="$(last_start)" 'BEGIN { printf "%.0f", (b - a) * 1000 }')
        r=$(awk -v a="$w" -v b="$o" 'BEGIN { printf "%.2f", a / b }')
        ratios+=("$r")
        ocpu=$( [ -s "$WORK/cpu" ] && awk -F, '/task-clock/ { printf "%.0f", $1 }' "$WORK/cpu" || echo "?")
        echo "   round $round: watch ${w} ms, one-off run ${o} ms, ratio $r; own CPU ${wcpu} / ${ocpu} ms"
    done
    r=$(printf '%s\n' "${ratios[@]}" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
    echo "   median ratio $r ($(awk -v r="$r" 'BEGIN { print (r <= 1.1 ? "within target" : "over 1.1") }'), target 1.1)"
    load
}
burst f $(( QUIET / 1000 + 1 ))
[ "${FRESH:-1}" = 1 ] && burst "f'" 0

echo "== (g) CPU of an idle watch over 10 s, with ${IDLE:-20000} files in the folder"
load
rm -f "$WORK"/in/*
for i in $(seq 1 "${IDLE:-20000}"); do : > "$WORK/in/g$i.pdf"; done
start_watch
sleep 2
ticks() { awk '{ print $14 + $15 }' "/proc/$WATCHER/stat"; }
t0=$(ticks)
sleep 10
t1=$(ticks)
stop_watch
echo "   $(( (t1 - t0) * 1000 / $(getconf CLK_TCK) / 10 )) ms of CPU per second"

DIGEST=${DIGEST:-1000}
echo "== (h) SHA-256 content digest of $DIGEST files of 1 MB (warm cache)"
load
rm -rf "$WORK/in" "$WORK/stage"
mkdir -p "$WORK/digest"
head -c 1048576 /dev/urandom > "$WORK/digest/1"
for i in $(seq 2 "$DIGEST"); do cp "$WORK/digest/1" "$WORK/digest/$i"; done
read -r ms failed < <("$BUILD/bench/bench_digest" "$WORK"/digest/*)
echo "   ${ms} ms ($(awk -v m="$ms" -v n="$DIGEST" 'BEGIN { printf "%.1f ms per file, %.0f MB/s", m / n, n / (m / 1000) }')), $failed unreadable"
