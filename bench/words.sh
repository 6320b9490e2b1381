#!/usr/bin/env bash
# Word timing: word taps with C and S for words, and 自动逐字, against
# hand-made word times on the pop songs, and against generated Mandarin
# lines whose syllable starts are known.
#
#   bench/words.sh [SONGS_DIR]   (default: SONGS_DIR, else ../shared/songs from
#                                 the repository root; environment: BUILD_DIR,
#                                 default <repo>/build-bench; SEED)
#
# Method (bench_words)
# - Each song with a words file (start, end, word, line number) is decoded by
#   the program's own decoder and its timing curve built as on import; the
#   songs are never copied anywhere.
# - Word taps: every word's true start plus a delay drawn from 140-220 ms
#   (seeded). C: one delay for all of a song's word taps (the line rule,
#   estimateDelay), taken out when it is clear; S: each tag snapped within
#   [-80, +50] ms (snapWordTime). Pooled median |tag - truth| and share
#   within 100 ms.
# - 自动逐字: each line's units placed by alignWords between its true start
#   and the next line's (the song's end for the last), syllables counted as
#   the program does, at the song's pace over all its lines
#   (typicalSyllableSeconds) and with its voice activity. The first unit of a line is its start and is left out.
#   Median and share within 300 ms.
# - Generated Mandarin: 12 lines of 5-8 characters, each syllable spoken
#   alone by espeak-ng (voice cmn) and put at a known start (a syllable every
#   0.30-0.55 s, seeded) over a quiet hum, mixed into one wav with sox.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
build=${BUILD_DIR:-$repo/build-bench}
songs=${1:-${SONGS_DIR:-$repo/../shared/songs}}

cmake -S "$repo" -B "$build" -DTARVELIN_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target bench_words >/dev/null

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The Mandarin lines: one wav a syllable, padded to its start, then mixed.
chars=(春 眠 不 觉 晓 处 闻 啼 鸟 夜 来 风 雨 声 花 落 知 多 少 明 月 光 照 我 心 山 水 长 天 远)
RANDOM=${SEED:-20261207}
t=1.0
: >"$tmp/mandarin.words.tsv"
parts=()
n=0
for line in $(seq 1 12); do
    count=$((5 + RANDOM % 4))
    for _ in $(seq 1 "$count"); do
        c=${chars[$((RANDOM % ${#chars[@]}))]}
        espeak-ng -v cmn -s 260 -w "$tmp/s$n.wav" "$c"
        # espeak-ng leaves a little silence before the voice: the start is
        # where the sound rises above -40 dB, so the silence is trimmed first.
        sox "$tmp/s$n.wav" -r 22050 -c 1 "$tmp/t$n.wav" silence 1 0.005 -40d pad "$t"
        parts+=("$tmp/t$n.wav")
        printf '%.3f\t%.3f\t%s\t%d\n' "$t" "$t" "$c" "$line" >>"$tmp/mandarin.words.tsv"
        gap=$((RANDOM % 26)) # drawn here: a command substitution reseeds RANDOM
        t=$(echo "$t + 0.30 + $gap / 100" | bc -l)
        n=$((n + 1))
    done
    t=$(echo "$t + 1.2" | bc -l)
done
sox -m -v 1 "${parts[@]}" "$tmp/voice.wav" 2>/dev/null || sox -m "${parts[@]}" "$tmp/voice.wav"
len=$(soxi -D "$tmp/voice.wav")
sox -n -r 22050 -c 1 "$tmp/hum.wav" synth "$len" sine 110 vol 0.02
sox -m "$tmp/voice.wav" "$tmp/hum.wav" -c 2 "$tmp/mandarin.wav"

if [[ ! -f $songs/index.tsv ]]; then
    echo "no real songs at $songs (index.tsv missing): only the generated Mandarin lines are measured"
    songs_args=()
else
    echo "real songs from $songs"
    songs_args=(--songs "$songs")
fi
"$build/bench/bench_words" "${songs_args[@]}" --song generated-mandarin "$tmp/mandarin.wav" "$tmp/mandarin.words.tsv" \
    --seed "${SEED:-20261207}"
