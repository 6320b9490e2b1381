#!/usr/bin/env bash
# Lyrics document benchmark: a 50 000-line lyrics text with a tag on every
# line in a shown editor with the lyrics document attached; the import, and
# typing one character in the middle, a tap, a marker drag step and Ctrl+Z,
# each as median and max over 50 tries. The goal is 16 ms per step. The
# import also like for like: setPlainText into a bare editor set up as the
# window's, with and without the lyrics document, and the difference.
#
#   bench/document.sh [LINES [TRIES [IMPORT_RUNS]]]   (50000, 50, 5)
#
# Runs on the offscreen platform. Environment: BUILD_DIR (default
# <repo>/build-bench).
source "$(dirname "$0")/lib.sh"
bench_build bench_document

QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bench/bench_document" "$@"
