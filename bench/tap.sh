#!/usr/bin/env bash
# Tags made by pressing, through the X server: how far each tag is from the
# song time heard at the moment of the press, and how long the program takes
# from handling the press to the tag in the editor.
#
#   bench/tap.sh            (all rows: keys and button, 1x and 0.75x, no stall and 200 ms)
#   ROWS="keys:1:0 button:0.75:200" bench/tap.sh
#
# Method
# - The program is bench_tap_probe_app: src/app/main.cpp compiled unchanged,
#   plus bench/tap_probe.cpp (see its top), run in a private Xvfb with a
#   private PulseAudio null sink (mpv's pulse output, as a user's desktop).
# - A 30 s tone is played at the row's speed. Tap mode (keys): the probe's own
#   thread presses Space through XTest 40 times, ~0.45 s apart, each held
#   30 ms; 插入时间 (button): the left button on the button, held 100 ms. Each
#   press is stamped with CLOCK_MONOTONIC just before it is flushed to the
#   server (which stamps it with the same clock).
# - Stall: with 200 ms, the interface thread sleeps 200 ms when a press
#   arrives, before anything handles it (a bench-only event filter).
# - Heard song time at the press: the engine's position, sampled every ~2 ms
#   and fitted with a line over the run, at the press instant.
#   bench/tag_error.sh measures that position against
#   the recorded sound (within ~2 ms at 1x and 0.75x).
# - err: |tag - heard time at the press| per press, ms (median, p95, max),
#   the tag's cut to the hundredth (0..10 ms below) included; signed: tag -
#   heard time, min..max. handling: from the start of the handling of the event that
#   makes the tag (the key press; the button's release) to the tag in the
#   editor's text, ms.
# Goals: err max <= 12 ms in every row, handling <= 2 ms.
#
# Needs: Xvfb, pulseaudio, pactl, ffmpeg, libxtst-dev (build).
# Environment: BUILD_DIR (default <repo>/build-bench), ROWS.
source "$(dirname "$0")/lib.sh"
read -r -a rows <<<"${ROWS:-keys:1:0 keys:0.75:0 keys:1:200 keys:0.75:200 button:1:0 button:0.75:0 button:1:200 button:0.75:200}"
bench_needs Xvfb pulseaudio pactl ffmpeg
bench_build bench_tap_probe_app
probe=$build/bench/bench_tap_probe_app

ffmpeg -v error -y -f lavfi -i "sine=frequency=440:duration=30" -ac 2 -ar 48000 -c:a libmp3lame -b:a 128k "$tmp/tone.mp3"
bench_start_x
bench_start_pulse tap_bench --disable-shm=yes
mkdir -m 700 "$tmp/runtime"

echo "== tags made by pressing through X (Xvfb $DISPLAY, PulseAudio null sink), 40 presses per row"
printf '%-8s %5s %6s | %6s %6s %6s | %13s | %8s %8s %8s\n' what speed stall err_med err_p95 err_max signed hnd_med hnd_p95 hnd_max
status=0
for row in "${rows[@]}"; do
    IFS=: read -r mode speed stall <<<"$row"
    line=$(env -u QT_QPA_PLATFORM HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/runtime" LC_ALL=C.UTF-8 \
        TAP_BENCH_MODE="$mode" TAP_BENCH_SPEED="$speed" TAP_BENCH_STALL_MS="$stall" TAP_BENCH_SONG="$tmp/tone.mp3" \
        timeout 90 "$probe" 2>"$tmp/probe.log") || { echo "tap.sh: row $row failed:" >&2; cat "$tmp/probe.log" >&2; status=1; continue; }
    declare -A f=()
    for kv in $line; do f[${kv%%=*}]=${kv#*=}; done
    printf '%-8s %5s %4sms | %6s %6s %6s | %13s | %8s %8s %8s\n' "$mode" "${speed}x" "$stall" \
        "${f[err_median]}" "${f[err_p95]}" "${f[err_max]}" "${f[signed_min]}..${f[signed_max]}" \
        "${f[handling_median]}" "${f[handling_p95]}" "${f[handling_max]}"
    [[ ${TAP_BENCH_VERBOSE:-0} = 1 ]] && echo "    $line"
done
exit $status
