#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) with clang in build/fuzz and runs each
# for SECONDS (default 30), starting from its seed corpus in the repository.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
# A finding stops the script with exit code 1 and leaves the input in
# build/fuzz/findings/; copy it to fuzz/regressions/TARGET/ once it is fixed,
# so that the ordinary suite replays it.
source "$(dirname "$0")/common.sh"
seconds=${1:-30}
shift || true
install_fuzz_dependencies
build=$MORVANE_ROOT/build/fuzz
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    mapfile -t targets < <(sed -n 's/^set(MORVANE_FUZZ_TARGETS \(.*\))$/\1/p' "$MORVANE_ROOT/fuzz/CMakeLists.txt" | tr ' ' '\n')
fi
CC=clang-14 CXX=clang++-14 cmake -S "$MORVANE_ROOT" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMORVANE_BUILD_TESTS=OFF -DMORVANE_FUZZ=ON \
    $(command -v ccache >/dev/null 2>&1 && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake --build "$build" --parallel "$(nproc)" --target "${targets[@]/#/fuzz_}"

mkdir -p "$build/findings"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
status=0
for t in "${targets[@]}"; do
    # New inputs go to a scratch copy; the repository keeps its small seed set.
    work=$build/corpus/$t
    mkdir -p "$work"
    echo "== fuzz_$t for ${seconds} s"
    if ! "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/findings/$t-" "$work" "$MORVANE_ROOT/fuzz/corpus/$t" \
        2>"$build/fuzz_$t.log"; then
        echo "fuzz_$t found a fault; input in $build/findings/, log in $build/fuzz_$t.log" >&2
        tail -n 40 "$build/fuzz_$t.log" >&2
        status=1
    else
        grep -E '^stat::number_of_executed_units' "$build/fuzz_$t.log" || true
    fi
done
exit $status
