#!/usr/bin/env bash
# Tag error against the heard audio: how far the position the program puts
# into a time tag is from the audio the user hears at that moment.
#
#   bench/tag_error.sh [FORMAT...]     (default: mp3 wma rm flac ogg m4a wav)
#   MODES="normal seek slow" bench/tag_error.sh mp3
#
# Method
# - A click track (bench_tag_error --make-wav): 16 s of silence with 5 ms,
#   3 kHz bursts at twelve irregular, known times (0.50, 1.63, 3.04 ... 14.87 s),
#   48 kHz mono, encoded here with ffmpeg to mp3, wma (wmav2), rm (RealMedia
#   holding AC-3, the one RealMedia audio codec ffmpeg writes at 48 kHz),
#   flac, ogg (Vorbis) and m4a (AAC); wav as is.
# - A private X server (Xvfb) and a private PulseAudio daemon with one null
#   sink at 48 kHz, plus a pacat playing silence with --latency-msec=5, which
#   keeps the sink rendering in small blocks, as a real device with a
#   low-latency client would.
# - The real window (MainWindow with MpvEngine, ao=pulse, volume 100) on that
#   X server, driven as a user drives it, with mouse events sent through the
#   X server (XTest): 导入歌曲 clicked, its file dialog answered with the file
#   by the bench's own PlatformTools; for 0.75x, the player's right-click
#   menu, 播放速度, 0.75×; the player's ▶ clicked; then 插入时间 clicked every
#   200 ms, each a press, a 90 ms hold and a release, all stamped with
#   CLOCK_MONOTONIC as they go to the X server. Modes: normal; seek (at 5.0 s
#   a seek to 0.15 s before the 8th click); slow (0.75x, pitch kept). A timer
#   reads the engine's position every ~1 ms meanwhile.
# - bench_tag_error records the sink's monitor in-process (libpulse, float,
#   2 ms fragments), taking with every chunk a CLOCK_MONOTONIC stamp and the
#   record stream's time. Sample n was played, by PulseAudio's accounting, at
#   stamp - (stream time - n/48000) (median over the chunks within 0.1 s: the
#   null sink's clock drifts against CLOCK_MONOTONIC, and the relation jumps
#   when a stream connects and the sink rewinds); by arrival, no later than
#   the earliest stamp - (chunk end - n)/48000 of those chunks.
# - Calibration, before and after all runs: clicks through a raw playback
#   stream of the bench's own, where PulseAudio's playback accounting (the one
#   mpv's audio-pts rests on) says they sound, against where the recording
#   places them, both by accounting and by arrival. The mean of the two
#   accounting medians is subtracted from every heard instant; the arrival
#   figures say how far the two ways of timing the recording agree. A
#   calibration whose eight clicks disagree by more than 2 ms is repeated (up
#   to three times): right after start-up the server's timing still drifts.
# - Clicks found in the recording (first sample above a quarter of the peak
#   after 0.3 s of quiet) give the instants they were heard, and where the
#   file's own timestamps put them (decoded by ffmpeg, encoder delay trimmed
#   as the demuxer says) the file time heard then. "file offset" is where the
#   timestamps put the clicks against where they were written: a property of
#   the encoded file (AC-3's delay in rm, ffmpeg's wmav2 stamping 43 ms late).
# - tag - heard: each tag in the editor, one per click on 插入时间, minus the
#   file time heard at the click's press (from the nearest click heard, at
#   the run's speed). The verdict is on these: MET when all lie in [-15, +5]
#   ms, i.e. the position within 5 ms of what is heard and the tag's cut to
#   the hundredth (0..10 ms down).
# - position: the position read at the instant each click was heard, against
#   the click's file time; "jumps" counts readings ~1 ms apart whose step is
#   off the elapsed time times the speed by more than 2 ms.
# - Latency: from the release sent to X to the tag in the editor.
#
# Needs: xvfb, pulseaudio, pulseaudio-utils (pacat), ffmpeg, libpulse-dev and
# libxtst-dev (build). Environment: BUILD_DIR (default <repo>/build-bench), MODES.
source "$(dirname "$0")/lib.sh"
formats=("$@")
[[ ${#formats[@]} -gt 0 ]] || formats=(mp3 wma rm flac ogg m4a wav)
read -r -a modes <<<"${MODES:-normal seek slow}"

bench_needs Xvfb pulseaudio pacat pactl ffmpeg pkg-config
pkg-config --exists libpulse xtst || bench_fail "needs libpulse-dev and libxtst-dev"
bench_build bench_tag_error
bench=$build/bench/bench_tag_error

"$bench" --make-wav "$tmp/clicks.wav" >/dev/null
declare -A encode=(
    [mp3]="-c:a libmp3lame -b:a 192k"
    [wma]="-c:a wmav2 -b:a 128k"
    [rm]="-f rm -c:a ac3 -b:a 192k"
    [flac]="-c:a flac"
    [ogg]="-c:a libvorbis -q:a 5"
    [m4a]="-c:a aac -b:a 192k"
)
jobs=()
for f in "${formats[@]}"; do
    file=$tmp/clicks.$f
    if [[ $f != wav ]]; then
        [[ -n ${encode[$f]:-} ]] || { echo "tag_error.sh: unknown format $f" >&2; exit 2; }
        # shellcheck disable=SC2086
        if ! ffmpeg -v error -y -i "$tmp/clicks.wav" ${encode[$f]} "$file"; then
            echo "tag_error.sh: ffmpeg cannot write $f here; skipped" >&2
            continue
        fi
    fi
    for m in "${modes[@]}"; do
        jobs+=(--job "$f" "$m" "$file")
    done
done

# The private sound server.
sink=tarvelin_bench
bench_start_pulse "$sink"
pacat --playback --raw --format=float32le --rate=48000 --channels=1 --latency-msec=5 \
    --device="$sink" /dev/zero 2>/dev/null &
bench_pids+=($!)
sleep 0.3
bench_start_x

echo "== tag error against the heard audio: PulseAudio null sink, formats: ${formats[*]}, modes: ${modes[*]}"
QT_QPA_PLATFORM=xcb "$bench" --sink "$sink" "${jobs[@]}"
