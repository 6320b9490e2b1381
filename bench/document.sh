#!/usr/bin/env bash
# Lyrics document benchmark: a 50 000-line lyrics text with a tag on every
# line in a shown editor with the lyrics document attached; the import, and
# typing one character in the middle, a tap, a marker drag step and Ctrl+Z,
# each as median and max over 50 tries, beside the same steps in an editor
# without the model. The goal is 16 ms per step.
#
#   bench/document.sh [LINES [TRIES [IMPORT_RUNS]]]   (50000, 50, 5)
#
# Runs on the offscreen platform. Environment: BUILD_DIR (default
# <repo>/build-bench).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
build=${BUILD_DIR:-$repo/build-bench}

cmake -S "$repo" -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target bench_document >/dev/null

QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bench/bench_document" "$@"
