#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for a
# while on a copy of its seed corpus in fuzz/corpus/<target>.
#   fuzz/run.sh [SECONDS_EACH] [TARGET...]     (default: 60 s, all targets)
# A long run on both cores:  FUZZ_JOBS=2 fuzz/run.sh 3600
# Findings are written to build-fuzz/findings/<target>/; reproduce one with
#   build-fuzz/fuzz/<target> <file>
# and add it to fuzz/corpus/<target>/ once fixed, so every later run (and CI)
# replays it.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${TARVELIN_FUZZ_BUILD_DIR:-$ROOT/build-fuzz}
SECONDS_EACH=${1:-60}
shift || true
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=(lyricstext positiontext lyricsexport)
JOBS=${FUZZ_JOBS:-1}

CLANG=${TARVELIN_CLANG:-$(command -v clang++ || command -v clang++-14 || true)}
[ -n "$CLANG" ] || { echo "error: clang++ is missing (apt-get install clang libclang-rt-14-dev)" >&2; exit 1; }

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$CLANG" \
    -DTARVELIN_FUZZ=ON -DTARVELIN_BUILD_TESTS=OFF -DTARVELIN_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD" --parallel "$(nproc)" --target "${TARGETS[@]/#/fuzz_}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for target in "${TARGETS[@]}"; do
    seeds=$ROOT/fuzz/corpus/$target
    work=$BUILD/corpus/$target
    findings=$BUILD/findings/$target
    logs=$BUILD/logs/$target
    mkdir -p "$work" "$findings" "$logs"
    rm -f "$logs"/fuzz-*.log
    echo "== fuzz_$target for ${SECONDS_EACH}s (seeds: $(ls "$seeds" | wc -l), jobs: $JOBS)"
    # New inputs go to the work corpus; the seeds in the tree stay as they are.
    # With several jobs each writes its own fuzz-N.log into the folder it runs in.
    if ! (cd "$logs" && "$BUILD/fuzz/fuzz_$target" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
        -max_len=4096 -jobs="$JOBS" -workers="$JOBS" -print_final_stats=1 \
        -artifact_prefix="$findings/" "$work" "$seeds" >"$BUILD/fuzz_$target.log" 2>&1); then
        status=1
        echo "fuzz_$target FOUND A PROBLEM; the end of its log ($BUILD/fuzz_$target.log, $logs):"
        tail -40 "$BUILD/fuzz_$target.log"
        tail -n 40 "$logs"/fuzz-*.log 2>/dev/null || true
        ls -l "$findings"
    else
        if [ "$JOBS" -gt 1 ]; then
            grep -hE 'DONE' "$logs"/fuzz-*.log || true
        else
            grep -hE 'DONE' "$BUILD/fuzz_$target.log" || true
        fi
    fi
done
exit "$status"
