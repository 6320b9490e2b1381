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
# - A private PulseAudio daemon (runtime dir, socket and home in a temp dir)
#   with one null sink at 48 kHz, and a second client, a pacat playing
#   silence with --latency-msec=5, which keeps the sink rendering in small
#   blocks, as a real device with a low-latency client would.
# - bench_tag_error records the sink's monitor in-process (libpulse, float,
#   2 ms fragments). With every chunk it takes a CLOCK_MONOTONIC stamp and the
#   record stream's time (pa_stream_get_time: the stream position being
#   captured now, which includes the monitor's negative latency, i.e. the
#   blocks the null sink has rendered ahead of playing them). Sample n was
#   therefore played at stamp - (stream time - n/48000); the median over
#   the chunks within 0.1 s of the sample is used, because the null sink's
#   clock drifts against CLOCK_MONOTONIC (0.08 % fast was measured), which a
#   single offset per run would turn into an error growing along the file,
#   and because the relation jumps when a new stream connects and the sink
#   rewinds (by 250 ms once, settled within 0.3 s).
# - Calibration, before and after all runs: the bench plays clicks through a
#   raw playback stream of its own and compares when PulseAudio's playback
#   accounting says they sound (stream time of the playback stream, the same
#   accounting mpv's audio-pts rests on) with when the recording places them.
#   The mean of the two medians is subtracted from every heard instant; both
#   are printed, and their difference is the rig's own uncertainty. A
#   calibration whose eight clicks disagree by more than 2 ms is repeated
#   (up to three times): right after start-up the server's timing can still
#   drift by ~10 ms over a few seconds.
# - The position readings themselves are checked too: "jumps" counts the
#   readings ~2 ms apart whose step differs from the elapsed time times the
#   speed by more than 2 ms, i.e. where position() jitters.
# - Each file plays in the real main window (MainWindow with MpvEngine,
#   ao=pulse, volume 100, offscreen Qt platform). The GUI thread samples
#   engine->position() about every 2 ms (stamped with CLOCK_MONOTONIC) and
#   clicks "插入时间" (QTest::mouseClick on Command3) every ~150 ms.
# - Clicks found in the recording (first sample above a quarter of the peak
#   after 0.3 s of quiet) give the instants they were heard; the program's
#   position at each instant is interpolated from the samples, and
#     error = position at the heard instant - the click's time in the file.
#   + means the program runs ahead of what is heard, - that it lags.
#   "vs file" uses where the file's own timestamps put the click instead
#   (decoded by ffmpeg, encoder delay trimmed as the demuxer says, frames
#   placed at their timestamps); "file offset" is the difference between the
#   two: a property of the encoded file (e.g. AC-3's 256-sample delay in rm,
#   ffmpeg's wmav2 stamping its content 43 ms late), not of playback.
# - Modes: normal; seek (at 5.0 s a seek to 0.15 s before the 8th click);
#   slow (speed 0.75 with pitch kept).
# - Tag error: the text each click on "插入时间" wrote, against the file time
#   heard at that click (from the nearest heard click, at the run's speed).
#   Position text is cut to the centisecond, so tags sit 0..10 ms below the
#   position by design.
# - Handler time: the duration of QTest::mouseClick(Command3), press to
#   release and the tag in the editor, while the real engine plays.
#
# Needs: pulseaudio, pulseaudio-utils (pacat), ffmpeg, libpulse-dev (build).
# Environment: BUILD_DIR (default <repo>/build-bench), MODES.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
build=${BUILD_DIR:-$repo/build-bench}
formats=("$@")
[[ ${#formats[@]} -gt 0 ]] || formats=(mp3 wma rm flac ogg m4a wav)
read -r -a modes <<<"${MODES:-normal seek slow}"

for tool in pulseaudio pacat pactl ffmpeg pkg-config; do
    command -v "$tool" >/dev/null || {
        echo "tag_error.sh: needs $tool (apt-get install pulseaudio pulseaudio-utils ffmpeg libpulse-dev)" >&2
        exit 1
    }
done
pkg-config --exists libpulse || { echo "tag_error.sh: needs libpulse-dev" >&2; exit 1; }

cmake -S "$repo" -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target bench_tag_error >/dev/null
bench=$build/bench/bench_tag_error

tmp=$(mktemp -d)
pulse_pid=
pacat_pid=
cleanup() {
    [[ -n $pacat_pid ]] && kill "$pacat_pid" 2>/dev/null || true
    [[ -n $pulse_pid ]] && kill "$pulse_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT

# The test files.
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
mkdir -m 700 "$tmp/pulse" "$tmp/home"
export PULSE_RUNTIME_PATH=$tmp/pulse XDG_RUNTIME_DIR=$tmp/pulse
export PULSE_SERVER=unix:$tmp/pulse/native
sink=tarvelin_bench
HOME=$tmp/home XDG_CONFIG_HOME=$tmp/home/.config pulseaudio --daemonize=no --system=no -n \
    --exit-idle-time=-1 --use-pid-file=no --log-target=stderr \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$tmp/pulse/native" \
    --load="module-null-sink sink_name=$sink rate=48000 channels=2" \
    2>"$tmp/pulseaudio.log" &
pulse_pid=$!
for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.05
done
pactl info >/dev/null 2>&1 || { echo "tag_error.sh: pulseaudio did not start:" >&2; cat "$tmp/pulseaudio.log" >&2; exit 1; }
pacat --playback --raw --format=float32le --rate=48000 --channels=1 --latency-msec=5 \
    --device="$sink" /dev/zero 2>/dev/null &
pacat_pid=$!
sleep 0.3

echo "== tag error against the heard audio: PulseAudio null sink, formats: ${formats[*]}, modes: ${modes[*]}"
QT_QPA_PLATFORM=offscreen "$bench" --sink "$sink" "${jobs[@]}"
