#!/usr/bin/env bash
# Lyrics import and save benchmark: a 50 000-line lyrics file imported into
# the editor and saved again through the buttons' actions, beside the naive
# import that replaces the editor's whole text once per line (measured on a
# shorter prefix and extrapolated, as it grows with the square of the length).
#
#   bench/lyrics_io.sh [LINES [BASELINE_LINES [RUNS]]]   (50000, 2000, 5)
#
# Runs on the offscreen platform. Environment: BUILD_DIR (default
# <repo>/build-bench).
source "$(dirname "$0")/lib.sh"
bench_build bench_lyrics_io

QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bench/bench_lyrics_io" "$@"
