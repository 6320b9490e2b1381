#!/usr/bin/env bash
# Moving a tag by eye, then unsaved tagging surviving a real crash, in one run
# of the program: import a song and a text whose first line is tagged, drag
# that line's marker on the waveform strip with the mouse, tag two more lines
# with 插入时间 while the song plays, kill the program with SIGKILL, start it
# again and answer 恢复. Saved, the editor holds byte for byte what the program
# had recorded before it died, the first tag moved by the dragged distance.
# The rest of recovery (what is offered, when the file goes) is tst_recovery's
# part.
#
# Where the strip is and how wide: found in a screenshot, from the playhead
# (the one red line, in the strip's middle) and the strip's top edge, so the
# script does not depend on the display's layout. The strip shows 8 s across
# its width around the playhead, which stands at 0 after the import, so the
# tag at 2 s is at 3/4 of the width and a drag of d pixels moves it by
# d * 8 s / width, cut to the hundredth.
source "$(dirname "$0")/lib.sh"

DRAG_PX=40
LYRICS=("[00:02.00]第一行 春眠不觉晓" "第二行 处处闻啼鸟" "Line three: plain ASCII")
recovery_dir=$E2E_DIR/home/.local/share/Quorrin/Tarvelin/recovery

e2e_start
make_song 0.05 sine 1000 vol 0.5 pad 0 0.95 repeat 9 pad 1 1
printf '%s\n' "${LYRICS[@]}" >"$E2E_DIR/lyrics.txt"
import_song "$E2E_DIR/lyrics.txt"

# Prints "LEFT WIDTH MIDDLE_Y" of the strip in window coordinates.
strip_geometry() {
    import -window "$WIN" -depth 8 ppm:- 2>/dev/null | python3 -c '
import re, sys
data = sys.stdin.buffer.read()
header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
w, h, px = int(header[1]), int(header[2]), data[header.end():]
rgb = lambda x, y: px[3 * (y * w + x):3 * (y * w + x) + 3]
red = {}
for y in range(h):
    for x in range(w):
        r, g, b = rgb(x, y)
        if r > 180 and g < 100 and b < 100: red.setdefault(x, []).append(y)
x = max(red, key=lambda c: len(red[c]))
top, bottom = min(red[x]) - 1, max(red[x])
left, right = x, x
while left > 0 and min(rgb(left - 1, top)) < 250: left -= 1
while right < w - 1 and min(rgb(right + 1, top)) < 250: right += 1
print(left, right - left + 1, (top + bottom) // 2)'
}
# Ready when two looks agree on a strip narrower than the window (while the
# song is still being read, the display can show something else).
geometry=
strip_ready() {
    local previous=$geometry
    geometry=$(strip_geometry) || return 1
    [ "$geometry" = "$previous" ] && read -r left width middle <<<"$geometry" && [ "$width" -gt 200 ] && [ "$width" -lt 517 ]
}
wait_until 10 "the waveform strip with its playhead" strip_ready
log "strip at x $left, $width px wide, middle at y $middle"

log "drag the first line's marker $DRAG_PX px to the right"
x=$((left + width * 3 / 4))
for step in "mousemove --window $WIN $x $middle" "mousedown 1" "mousemove --window $WIN $((x + DRAG_PX / 2)) $middle" \
    "mousemove --window $WIN $((x + DRAG_PX)) $middle" "mouseup 1"; do
    # shellcheck disable=SC2086
    xdotool $step
    sleep 0.1
done

log "tag lines 2 and 3 while the song plays"
click play
wait_until 5 "the song to play" eval '[[ $(title) =~ \[00:0[0-9]\.[0-9]{2}\]$ && ! $(title) =~ \[00:00\.00\]$ ]]'
for i in 1 2; do
    click editor
    # shellcheck disable=SC2046
    keys ctrl+Home $(yes Down | head -n "$i") Home
    click 插入时间
done
# The recovery file is written at most every 5 s: wait for the last tag.
recorded() { jq -j .text "$recovery_dir"/*.json 2>/dev/null; }
wait_until 10 "the recovery file to hold 3 tags" eval '[ "$(recorded | grep -c "^\[[0-9][0-9]:[0-5][0-9]\.[0-9][0-9]\]")" -eq 3 ]'
recorded >"$E2E_DIR/before-kill.txt"

log "SIGKILL, start again and answer 恢复 (the default button)"
kill -KILL "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
e2e_launch later
dialog 恢复歌词 -
WIN=$(find_window '^Tarvelin v1\.0 by:Quorrin')

log "save and compare"
saved=$E2E_DIR/restored.lrc
save "$saved"
# A save writes each line break as CR LF and one more CR LF at the end.
cmp -s "$saved" <(jq -Rsj 'gsub("\n"; "\r\n")' "$E2E_DIR/before-kill.txt"; printf '\r\n') ||
    fail "the restored text saves other bytes than were recorded before the kill: $(od -c "$saved" | head)"
expected_ms=$((2000 + DRAG_PX * 8000 / width))
first=$(head -1 "$saved")
[ "${first:10}" = "${LYRICS[0]:10}"$'\r' ] || fail "the first line's text changed: $first"
got_ms=$(to_ms "${first:1:8}")
log "first tag $got_ms ms, expected $expected_ms ms cut to the hundredth"
[ "$got_ms" -le "$expected_ms" ] && [ "$((expected_ms - got_ms))" -lt 20 ] || fail "the dragged tag reads $got_ms ms"
log passed
