#!/usr/bin/env bash
# Timing help: how close tags come to where lines really start once the
# program has corrected them, and how fast a song's waveform is ready.
#
#   bench/assist.sh            (environment: BUILD_DIR, default <repo>/build-bench;
#                               SONG_SEED, default 20240611)
#
# Method
# - The song (bench_assist --make-song): twelve Chinese lines spoken by
#   espeak-ng (voice cmn, 170 words a minute), each starting 60-190 ms after a
#   beat or an off-beat eighth (never on one), over a beat at 120 bpm (kick on
#   every beat, snare on 2 and 4, closed hi-hat on every eighth) and a bass
#   line (a note on every beat); about a minute, 44.1 kHz, encoded to mp3 at
#   192 kbit/s. A line's true start is where its voice becomes audible: the
#   first sample at which its 10 ms RMS reaches -26 dB of its loudest (the
#   espeak voices rise from -30 dB to -20 dB within 2 ms, so the start is
#   sharp).
# - The tapper (bench_assist --tap): the song plays in real time through the
#   player's engine (mpv, into the private PulseAudio null sink started here)
#   and each line is tapped when the player's position (what is heard)
#   reaches its start plus a reaction delay drawn uniformly from 140-220 ms
#   (180 +- 40, fixed seed). Rows: the raw taps; after 校正反应延迟 (C,
#   answered 是); after C and then S on every line; a second pass with
#   自动吸附 on. Error: |first tag of the line - true start|.
# - Performance (bench_assist --perf): the song's mp3 repeated to 5 minutes,
#   analysed 5 times: from the call to the last peak in (the waveform) and to
#   the last onset in; the longest gap between 1 ms timer ticks on the
#   interface thread meanwhile; and on a 10-minute version, the resident
#   memory above what it was before the import. CPU time is printed too:
#   the machine is shared, and wall time grows with its load.
#
# Needs: espeak-ng, sox, ffmpeg, pulseaudio (all installed by the setup).
source "$(dirname "$0")/lib.sh"
bench_needs espeak-ng sox ffmpeg pulseaudio pactl
bench_build bench_assist
bench=$build/bench/bench_assist

echo "== the song"
"$bench" --make-song "$tmp/song" "${SONG_SEED:-20240611}"
bench_start_pulse assist

echo
echo "== tags against the true line starts"
QT_QPA_PLATFORM=offscreen "$bench" --tap "$tmp/song"

echo
echo "== performance"
concat() { # concat SECONDS OUT: the song repeated to that length
    ffmpeg -v error -y -stream_loop -1 -i "$tmp/song/song.wav" -t "$1" -ac 2 -c:a libmp3lame -b:a 192k "$2"
}
concat 300 "$tmp/five.mp3"
concat 600 "$tmp/ten.mp3"
echo "-- a 5-minute mp3"
/usr/bin/time -f "   CPU %U s user + %S s system for 5 runs (load average before: $(cut -d' ' -f1 /proc/loadavg))" \
    "$bench" --perf "$tmp/five.mp3" 5
echo "-- a 10-minute mp3"
"$bench" --perf "$tmp/ten.mp3" 3
