#!/usr/bin/env bash
# The timing help's rules on real songs with hand-made line starts, and on a
# generated one: reaction delay (校正反应延迟, C), snapping (S, 自动吸附) and
# moving a tagged text onto the recording (对齐到这首歌).
#
#   bench/timing.sh [SONGS_DIR]   (default: SONGS_DIR, else ../shared/songs from
#                                  the repository root; environment: BUILD_DIR,
#                                  default <repo>/build-bench; SEED)
#
# Method (bench_timing)
# - Each song is decoded by the program's own decoder (stereo, 22050 Hz) and
#   its timing curve built as on import. SONGS_DIR/index.tsv lists the songs
#   (audio, line starts, and word times for the pop songs, whose line starts
#   are their first word's); the songs are never copied anywhere.
# - The generated song is bench/assist.sh's (espeak-ng lines over kick,
#   snare, hi-hat and bass; bench_assist --make-song), its true starts
#   where each voice becomes audible.
# - Taps: each line's true start plus a delay drawn from 140-220 ms (seeded).
#   C: the delay found against the taps' true mean delay, or why it refused
#   (then the tags stay as tapped). Errors |tag - true start| in ms as
#   median / p90 / share within 100 ms for the raw taps, after C, after C and
#   then S on every line (as S does: with the delay taken out when C applied,
#   else around a typical 180 ms delay), and for taps made with 自动吸附 on
#   (snapped for a typical 180 ms delay).
# - C over more seeds: the same taps drawn with SEEDS other seeds (default
#   6), how often C lands within 25 ms, refuses, or applies one > 60 ms off
#   (one seed's luck says little on 9 songs); a song a row, how often C
#   lands within 25 ms there and the errors pooled over those seeds; and in
#   how many songs, and in how many single tappings, C then S leaves a worse
#   median than C alone.
# - Alignment: every song's true starts moved by a seeded speed (0.97-1.03)
#   and offset (±20 s, no tag below 0), as a text tagged for another release;
#   the offset and speed found (and the ones that undo the move), and the
#   error after applying them, or why it refused.
# - Pooled rows per group (pop, opera, generated, all); the alignment's
#   pooled error is over the songs it applied to.
# - Then the analysis of a 5-minute mp3 in the program's background worker
#   (bench_assist --perf): to the complete waveform and to all curves, the
#   longest interface-thread stall, and the memory kept.
source "$(dirname "$0")/lib.sh"
songs=$(bench_songs "${1:-}")
bench_build bench_timing bench_assist

QT_QPA_PLATFORM=offscreen "$build/bench/bench_assist" --make-song "$tmp/song" "${SONG_SEED:-20240611}" >/dev/null

if [[ -z $songs ]]; then
    echo "only the generated song is measured"
    songs_args=()
else
    echo "real songs from $songs"
    songs_args=(--songs "$songs")
fi
"$build/bench/bench_timing" "${songs_args[@]}" --song generated "$tmp/song/song.mp3" "$tmp/song/starts.txt" \
    --seed "${SEED:-20261207}"

echo
echo "== analysis of a 5-minute mp3 (all curves)"
ffmpeg -v error -y -stream_loop -1 -i "$tmp/song/song.wav" -t 300 -ac 2 -c:a libmp3lame -b:a 192k "$tmp/five.mp3"
/usr/bin/time -f "   CPU %U s user + %S s system for 5 runs (load average before: $(cut -d' ' -f1 /proc/loadavg))" \
    "$build/bench/bench_assist" --perf "$tmp/five.mp3" 5
