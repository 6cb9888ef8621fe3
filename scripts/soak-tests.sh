#!/usr/bin/env bash
# Runs the whole test suite N times in a row (default 20) with two CPU-bound
# processes beside it, as on a busy machine, and reports every failure.
# Usage: scripts/soak-tests.sh [N] [ctest options...]
# Uses the CI build in build/ci (scripts/test.sh makes it); exit code 0 when
# every run passed, 1 otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-20}
shift || true
build=${MORVANE_BUILD_DIR:-$root/build/ci}
[ -f "$build/CTestTestfile.cmake" ] || { echo "No build in $build: run scripts/test.sh first." >&2; exit 2; }

burners=()
stop_burners() { [ ${#burners[@]} -eq 0 ] || kill "${burners[@]}" 2>/dev/null || true; }
trap stop_burners EXIT
for _ in 1 2; do
    ( while :; do :; done ) &
    burners+=($!)
done

log=$(mktemp -d)
failed_runs=0
for run in $(seq 1 "$runs"); do
    start=$SECONDS
    if ctest --test-dir "$build" --parallel "$(( $(nproc) * 2 ))" "$@" >"$log/run$run.log" 2>&1; then
        echo "run $run/$runs: passed ($(( SECONDS - start )) s)"
    else
        failed_runs=$(( failed_runs + 1 ))
        echo "run $run/$runs: FAILED ($(( SECONDS - start )) s)"
        sed -n '/tests failed out of/,$p' "$log/run$run.log" | grep -E '^\s+[0-9]+ - ' || true
        echo "  full log: $log/run$run.log"
    fi
done
echo "$(( runs - failed_runs )) of $runs runs passed"
[ "$failed_runs" -eq 0 ]
