#!/usr/bin/env bash
# Makes the demo song in examples/: six lyric lines spoken by espeak-ng's
# Mandarin voice over a plain drum beat and chords made with sox, about
# 28 seconds, encoded as mono MP3 by ffmpeg; and its plain lyrics as
# examples/demo-lyrics.txt in GBK with CR LF line ends, the way a lyrics file
# from an older Chinese Windows program looks.
#
# The beat runs at 120 beats a minute in bars of two seconds. Line N (from 1)
# starts at 4*N - 2 seconds: 0:02, 0:06, 0:10, 0:14, 0:18, 0:22.
#
# Needs espeak-ng (with its cmn voice), sox, ffmpeg (with libmp3lame), iconv.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out="$root/examples"
song="$out/demo-song.mp3"
lyrics="$out/demo-lyrics.txt"

lines=(
    "清晨的风轻轻吹过窗台"
    "我把歌词一行一行写下来"
    "每一句都在等它的时间"
    "按下按钮记住这一刻"
    "旋律向前我们也向前"
    "最后一句唱完就保存"
)

for tool in espeak-ng sox ffmpeg iconv; do
    command -v "$tool" >/dev/null || { echo "error: $tool not found" >&2; exit 1; }
done
espeak-ng --voices=cmn | grep -q cmn || { echo "error: espeak-ng has no cmn (Mandarin) voice" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rate=22050
bars=14          # 28 seconds
# sox -R: noise and dither repeat from run to run, so the song does too.
sx() { sox -R "$@"; }

# One bar of drums: kick on 1 and 3, hi-hat on 2 and 4, half a second each.
sx -n -r $rate -c 1 "$work/kick.wav" synth 0.18 sine 110:45 fade q 0 0.18 0.15 pad 0 0.32
sx -n -r $rate -c 1 "$work/hat.wav" synth 0.06 whitenoise gain -8 highpass 5000 fade q 0 0.06 0.05 pad 0 0.44
sx "$work/kick.wav" "$work/hat.wav" "$work/kick.wav" "$work/hat.wav" "$work/bar.wav"

# Chords, one a bar: C, A minor, F, G.
chord() { # name, three frequencies
    sx -n -r $rate -c 3 "$work/$1.3ch.wav" synth 2 sine "$2" sine "$3" sine "$4"
    sx "$work/$1.3ch.wav" -c 1 "$work/$1.wav" remix - fade q 0.05 2 0.4 gain -14
}
chord c 261.63 329.63 392.00
chord am 220.00 261.63 329.63
chord f 174.61 220.00 261.63
chord g 196.00 246.94 293.66

drum_bars=() chord_bars=() progression=(c am f g)
for ((i = 0; i < bars; i++)); do
    drum_bars+=("$work/bar.wav")
    chord_bars+=("$work/${progression[i % 4]}.wav")
done
sx "${drum_bars[@]}" "$work/drums.wav"
sx "${chord_bars[@]}" "$work/chords.wav"

# The voice: each line (about 3 s) padded to its start time, then all laid
# over each other.
voice_inputs=()
for i in "${!lines[@]}"; do
    start=$((4 * (i + 1) - 2))
    espeak-ng -v cmn -s 240 -p 55 -w "$work/say$i.raw.wav" "${lines[i]}"
    # Cut espeak's lead-in silence so the line is heard right at its start.
    sx "$work/say$i.raw.wav" -r $rate -c 1 "$work/say$i.wav" silence 1 0.02 1% pad "$start"
    voice_inputs+=(-v 1 "$work/say$i.wav")
done
sx -m "${voice_inputs[@]}" "$work/voice.wav"

sx -m -v 0.6 "$work/voice.wav" -v 0.3 "$work/drums.wav" -v 0.4 "$work/chords.wav" "$work/mix.wav" \
    trim 0 $((2 * bars)) fade q 0 $((2 * bars)) 1.5 norm -1

mkdir -p "$out"
ffmpeg -v error -y -i "$work/mix.wav" -map_metadata -1 -fflags +bitexact -flags:a +bitexact \
    -ac 1 -c:a libmp3lame -b:a 48k -id3v2_version 3 \
    -metadata title="Tarvelin 演示曲" -metadata artist="Tarvelin" "$song"

# The lyrics: GBK, CR LF after every line, no byte-order mark.
printf '%s\r\n' "${lines[@]}" | iconv -f UTF-8 -t GBK > "$lyrics"

echo "made $(basename "$song") ($(du -k "$song" | cut -f1) KB, $(soxi -D "$work/mix.wav") s) and $(basename "$lyrics")"
