#!/usr/bin/env bash
# Runs every benchmark script in this folder, one after the other, and prints
# their figures. Each script builds what it needs into BUILD_DIR (default
# <repo>/build-bench). A failing script is reported and the others still run;
# the exit status is non-zero if any failed.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# What the benches need beyond the test command's packages: a private
# PulseAudio and an X server for the tag error rig, their client libraries,
# ffmpeg for encoding.
(
    source "$here/../scripts/common.sh"
    ensure_packages "${RUN_PACKAGES[@]}" pulseaudio pulseaudio-utils libpulse-dev libxtst-dev ffmpeg sox xvfb xauth
) || exit 1
failed=()
for script in "$here"/*.sh; do
    name=$(basename "$script")
    [[ $name == run-all.sh || $name == lib.sh ]] && continue
    echo "######## $name"
    start=$(date +%s)
    if bash "$script"; then
        echo "######## $name done in $(( $(date +%s) - start )) s"
    else
        echo "######## $name FAILED (exit $?)"
        failed+=("$name")
    fi
    echo
done
if (( ${#failed[@]} )); then
    echo "failed: ${failed[*]}"
    exit 1
fi
