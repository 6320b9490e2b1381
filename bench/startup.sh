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
source "$(dirname "$0")/lib.sh"
runs=${1:-10}
bench_build bench_startup_probe_app bench_startup_baseline bench_startup_runner

if [[ -z ${DISPLAY:-} ]]; then
    bench_needs Xvfb
    bench_start_x 1280x1024x24
fi
unset QT_QPA_PLATFORM
export XDG_RUNTIME_DIR=$tmp/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

echo "== start-up: spawn to first painted window, X11 on DISPLAY=$DISPLAY, $runs runs each"
"$build/bench/bench_startup_runner" "$runs" \
    tarvelin="$build/bench/bench_startup_probe_app" \
    baseline="$build/bench/bench_startup_baseline"
