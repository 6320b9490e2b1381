#!/usr/bin/env bash
# End to end: the timing help on a song whose sounds start at known times.
# A text tagged 150-210 ms late is corrected with C in tap mode (校正反应延迟,
# answered with Return: 是) and each line snapped with S; then a text tagged for another recording (moved
# 0.5 s earlier and played 2 % slower there) is moved onto this one with A
# (对齐到这首歌). The tags are read from the recovery file.
source "$(dirname "$0")/lib.sh"

TOLERANCE_MS=35   # what C or A may miss by (25 ms), and the tag's cut to the hundredth
starts=(1.00 2.30 3.70 5.10 6.40 7.90 9.20 10.60 12.10 13.30)   # seconds
late=(0.18 0.15 0.21 0.17 0.19 0.20 0.16 0.18 0.19 0.17)

# tagged_text FORMULA: one line a start, its tag awk's FORMULA of s (the start)
# and i (the line), UTF-8.
tagged_text() {
    printf '%s\n' "${starts[@]}" | awk -v late="${late[*]}" "BEGIN { split(late, d, \" \") }
        { i = NR; s = \$1; t = $1; printf \"[%02d:%05.2f]第%d行\\n\", int(t / 60), t - 60 * int(t / 60) - 0.004999, i }"
}
# off_from S...: each line's tag less its S (seconds), in ms, one a line;
# fails when a line has no tag.
off_from() {
    local text i tag s=("$@")
    text=$(recorded)
    for i in "${!starts[@]}"; do
        tag=$(grep -oE "^\[[0-9]{2}:[0-9]{2}\.[0-9]{2}\]第$((i + 1))行" <<<"$text" | cut -c2-9) && [ -n "$tag" ] || return 1
        echo "$(to_ms "$tag") ${s[i]}"
    done | awk '{ print $1 - $2 * 1000 }'
}
# tags_right: every line's tag within TOLERANCE_MS of expected[i].
tags_right() { off_from "${expected[@]}" | awk -v tol=$TOLERANCE_MS '$1 > tol || $1 < -tol { bad = 1 } END { exit bad }'; }
# check WHAT: waits for the recovery file (written at most every 5 s) to
# hold the right tags.
check() { wait_until 15 "every line's tag within $TOLERANCE_MS ms of where it belongs ($1)" tags_right; }
# off_by: the lines' |tag - start| in ms, summed.
off_by() { off_from "${starts[@]}" | awk '{ sum += $1 < 0 ? -$1 : $1 } END { printf "%d\n", sum + 0.5 }'; }

e2e_start
# A 60 ms, 700 Hz tone with its partials at every start, 15 s in all.
expr=$(printf '+between(t,%s,%s+0.06)' $(for s in "${starts[@]}"; do echo "$s $s"; done))
ffmpeg -loglevel error -y -f lavfi -i "aevalsrc='0.3*(sin(2*PI*700*t)+0.5*sin(2*PI*1400*t)+0.3*sin(2*PI*2100*t))*(0${expr})':s=44100:d=15" \
    -ac 2 -c:a libmp3lame -b:a 128k -metadata title=e2e "$E2E_DIR/song.mp3"
tagged_text 's + d[i]' >"$E2E_DIR/late.txt"
tagged_text '(s - 0.5) / 1.02' >"$E2E_DIR/other.txt"

log "import the song and a text tagged late; C in tap mode, 是"
import_files "$E2E_DIR/late.txt"
sleep 2   # the song's analysis
to_line 0 && keys F2 c
dialog 校正反应延迟 -
keys Escape
# One delay, the presses' mean (180 ms), out of every tag: each keeps its own scatter.
mapfile -t expected < <(for i in "${!starts[@]}"; do echo "${starts[i]} ${late[i]}"; done | awk '{ print $1 + $2 - 0.18 }')
check "corrected tags"
corrected_off=$(off_by)

log "S on every line in tap mode: each tag moves toward its start"
to_line 0 && keys F2 $(yes 's Down' | head -n "${#starts[@]}") Escape
expected=("${starts[@]}")
nearer() { [ "$(off_by)" -lt "$corrected_off" ]; }
wait_until 15 "the tags nearer their starts than after C (summed: $corrected_off ms)" nearer
check "snapped tags"
log "summed |tag - start|: $corrected_off ms after C, $(off_by) ms after S"

log "replace the text by one tagged for another recording; A in tap mode, 是"
click editor && keys ctrl+a Delete
click 导入文本 && dialog 导入歌词 "$E2E_DIR/other.txt"
to_line 0 && keys F2 a
dialog 对齐到这首歌 -
keys Escape
expected=("${starts[@]}")
check "aligned tags"
log "done"
