#!/usr/bin/env bash
# Start-up benchmark: time from process spawn to the first painted main
# window, and peak RSS, of the program beside a bare baseline (QApplication +
# one QWidget of the same size + one initialised mpv handle), both built in
# this tree and run alternately.
#
#   bench/startup.sh [RUNS]        (default 10)
#
# The program is measured as bench_startup_probe_app: src/app/main.cpp
# compiled unchanged, plus bench/startup_probe.cpp, which prints the elapsed
# time once the first window has been exposed and painted and then exits.
# bench_startup_runner spawns each probe, passes it its CLOCK_MONOTONIC start
# and takes the peak RSS from wait4(). Runs under Xvfb: the DISPLAY given, or
# a private Xvfb started here when DISPLAY is unset.
# Environment: BUILD_DIR (default <repo>/build-bench).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
build=${BUILD_DIR:-$repo/build-bench}
runs=${1:-10}

cmake -S "$repo" -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target bench_startup_probe_app bench_startup_baseline bench_startup_runner >/dev/null

tmp=$(mktemp -d)
xvfb_pid=
cleanup() {
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT

if [[ -z ${DISPLAY:-} ]]; then
    command -v Xvfb >/dev/null || { echo "startup.sh: needs Xvfb (apt-get install xvfb) or a DISPLAY" >&2; exit 1; }
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$tmp/display" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do [[ -s $tmp/display ]] && break; sleep 0.05; done
    export DISPLAY=:$(cat "$tmp/display")
fi
unset QT_QPA_PLATFORM
export XDG_RUNTIME_DIR=$tmp/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

echo "== start-up: spawn to first painted window, X11 on DISPLAY=$DISPLAY, $runs runs each"
"$build/bench/bench_startup_runner" "$runs" \
    tarvelin="$build/bench/bench_startup_probe_app" \
    baseline="$build/bench/bench_startup_baseline"
