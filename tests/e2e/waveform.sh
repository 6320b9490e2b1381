#!/usr/bin/env bash
# Moving a tag by eye: import a song and a tagged lyrics text, drag the first
# line's marker on the waveform strip with the mouse, save, and check that
# the saved tag moved by the dragged distance and nothing else changed.
#
# Where the strip is and how wide: found in a screenshot, from the playhead
# (the one red line, in the strip's middle) and the strip's top edge, so the
# script does not depend on the display's layout. The strip shows 8 s across
# its width around the playhead, which stands at 0 after the import, so a tag
# at t s is at 3/4 of the width for t = 2 and a drag of d pixels moves it by
# d * 8 s / width, cut to the hundredth.
source "$(dirname "$0")/lib.sh"

DRAG_PX=40
SPAN_S=8
LYRICS=("第一行 春眠不觉晓" "第二行 处处闻啼鸟" "第三行 夜来风雨声" "第四行 花落知多少" "Line five")
TAGS=("[00:02.00]" "[00:04.00]" "[00:06.00]" "[00:08.00]" "[00:10.00]")

e2e_start
command -v python3 >/dev/null || fail "python3 is not installed"
song=$E2E_DIR/song.mp3
lyrics=$E2E_DIR/tagged.txt
saved=$E2E_DIR/moved.lrc
# 15 s: a 50 ms, 1 kHz beep every 2 s from 2 s on.
sox -n -r 44100 -c 2 -b 16 "$E2E_DIR/beeps.wav" synth 0.05 sine 1000 vol 0.5 pad 0 1.95 repeat 5 pad 2 1
ffmpeg -loglevel error -y -i "$E2E_DIR/beeps.wav" -c:a libmp3lame -b:a 128k -metadata title="e2e beeps" "$song"
for i in "${!LYRICS[@]}"; do printf '%s%s\n' "${TAGS[i]}" "${LYRICS[i]}"; done >"$lyrics"

log "import the song and the tagged lyrics"
choose_file 导入歌曲 导入歌曲 "$song"
wait_until 10 "the song to be loaded" eval '[[ "$(title)" == *"e2e beeps [00:00.00]" ]]'
choose_file 导入文本 导入歌词 "$lyrics"

# Prints "LEFT WIDTH MIDDLE_Y" of the strip in window coordinates.
strip_geometry() {
    import -window "$WIN" -depth 8 ppm:- 2>/dev/null | python3 -c '
import re, sys
data = sys.stdin.buffer.read()
header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
w, h = int(header[1]), int(header[2])
px = data[header.end():]
def rgb(x, y):
    i = 3 * (y * w + x)
    return px[i], px[i + 1], px[i + 2]
red = {}
for y in range(h):
    for x in range(w):
        r, g, b = rgb(x, y)
        if r > 180 and g < 100 and b < 100:
            red.setdefault(x, []).append(y)
if not red:
    sys.exit(1)
x = max(red, key=lambda c: len(red[c]))
top, bottom = min(red[x]) - 1, max(red[x])
inked = lambda c: min(rgb(c, top)) < 250
left = x
while left > 0 and inked(left - 1):
    left -= 1
right = x
while right < w - 1 and inked(right + 1):
    right += 1
print(left, right - left + 1, (top + bottom) // 2)'
}
strip_ready() { geometry=$(strip_geometry) && [ -n "$geometry" ]; }
wait_until 10 "the waveform strip with its playhead" strip_ready
read -r left width middle <<<"$geometry"
log "strip at x $left, $width px wide, middle at y $middle"
[ "$width" -gt 200 ] || fail "the strip is only $width px wide"
screenshot before-drag "$WIN"

log "drag the first line's marker $DRAG_PX px to the right"
x=$((left + width * 3 / 4))
move() { xdotool mousemove --window "$WIN" "$1" "$middle"; }
move "$x"
xdotool mousedown 1
sleep 0.1
move $((x + DRAG_PX / 2))
sleep 0.1
move $((x + DRAG_PX))
sleep 0.1
xdotool mouseup 1
sleep 0.3
screenshot after-drag "$WIN"

log "save and check the tags"
choose_file 保存歌词 保存歌词 "$saved"
wait_until 5 "the saved file" test -s "$saved"
expected_ms=$(awk -v d="$DRAG_PX" -v s="$SPAN_S" -v w="$width" 'BEGIN { printf "%d", 2000 + d * s * 1000 / w }')
first=$(head -1 "$saved" | tr -d '\r')
tag=${first%%]*}
tag=${tag#[}
got_ms=$(awk -v t="$tag" 'BEGIN { split(t, p, /[:.]/); printf "%d", (p[1] * 60 + p[2]) * 1000 + p[3] * 10 }')
log "first tag $tag ($got_ms ms), expected $expected_ms ms cut to the hundredth"
[ "$got_ms" -le "$expected_ms" ] && [ "$((expected_ms - got_ms))" -lt 20 ] ||
    fail "the dragged tag reads $tag, expected about $expected_ms ms"
[ "${first#*]}" = "${LYRICS[0]}" ] || fail "the first line's text changed: $first"
# The other lines as they were: UTF-8, CR LF, and the editor's last empty line.
expected_rest=$(for i in 1 2 3 4; do printf '%s%s\r\n' "${TAGS[i]}" "${LYRICS[i]}"; done; printf '\r\n')
[ "$(tail -n +2 "$saved")" = "$expected_rest" ] || fail "the other lines changed:
$(diff <(tail -n +2 "$saved" | od -c) <(printf '%s' "$expected_rest" | od -c) | head -20)"
