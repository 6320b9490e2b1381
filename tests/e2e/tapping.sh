#!/usr/bin/env bash
# Tagging with the keyboard in tap mode, as a user does it: F2 turns tap mode
# on, P starts the song, Space tags ten lines of a text with blank lines and an
# [ar:] line at known moments; one step back and re-tap, one undo and re-tap;
# then a part again at 0.75x; Escape, save, and check the saved lines.
#
# Timing. Each press goes through one xdotool that is already running and
# connected; the script stamps the moment it hands the press over. Playback runs in stretches: from the P press, after the
# first Backspace (which seeks), and after the second one at 0.75x. Within a
# stretch the sound keeps pace with the wall clock at the stretch's speed, so
# every tag must lie on one line against its press moment:
#   tag = speed * press + c   (c: where the stretch's sound started)
# c is the median over the stretch; each tag must be within TOLERANCE_MS of
# its line (the tag is cut to the hundredth, the press reaches the program
# through xdotool and the X server in a few ms). The first stretch starts at the song's start, so its c also gives
# how long the sound took to start after P: measured here from a few ms (the
# paused output only resumes) to about a second (the output reopens), so
# MIN_START_LAG_MS..MAX_START_LAG_MS. A tag taken
# at the handling of the key instead of its press, at a stale position, with
# the wrong speed or on the wrong line misses by far more.
source "$(dirname "$0")/lib.sh"

MIN_START_LAG_MS=-50
MAX_START_LAG_MS=1500
TOLERANCE_MS=80

TAP_LYRICS=(
    "[ar:测试歌手]" ""
    "第1行 春眠不觉晓" "第2行 处处闻啼鸟" ""
    "第3行 夜来风雨声" "第4行 花落知多少" "Line 5: plain ASCII" ""
    "第6行 白日依山尽" "第7行 黄河入海流" "第8行 欲穷千里目" ""
    "第9行 更上一层楼" "第10行 [Whistling]"
)

e2e_start
saved=$E2E_DIR/tapped.lrc
make_song 40 sine 440 vol 0.2
printf '%s\n' "${TAP_LYRICS[@]}" >"$E2E_DIR/lyrics.txt"
import_song "$E2E_DIR/lyrics.txt"

start_presser
# tap_at US LINE STRETCH: Space (held 30 ms) at that moment, recorded as the
# press that gave lyric line LINE its tag in that stretch of playback.
declare -A pressed stretch
tap_at() {
    [ "$(now_us)" -lt "$1" ] || fail "the tap for line $2 was not ready in time"
    sleep_until "$1"
    pressed[$2]=$(press "keydown space" "keyup space" 0.03)
    stretch[$2]=$3
}
key() { press "keydown $1" "keyup $1" 0.03; }

log "F2 turns tap mode on, P plays"
wait_until 10 "the main window to have the focus back" window_has_focus "$WIN"
keys F2
sleep 0.3
play_us=$(key p)
wait_until 5 "the title's position to run" eval '[[ ! $(title) =~ \[00:00\.00\]$ ]]'

log "tap lines 1-5"
for k in 1 2 3 4 5; do tap_at $((play_us + 2000000 + (k - 1) * 1200000)) "$k" 1; done
log "step back to line 5 and tap it again, then lines 6-8; undo line 8 and tap it again"
sleep 0.6
back_us=$(key BackSpace)
for k in 5 6 7 8; do tap_at $((back_us + 2400000 + (k - 5) * 1200000)) "$k" 2; done
sleep 0.6
key ctrl+z >/dev/null
tap_at $(($(now_us) + 1200000)) 8 2

log "at 0.75x: step back to line 8 and tap lines 8-10"
click player 3
keys Down Down Down Right Down Return   # 暂停 停止 播放速度 > 0.50× 0.75×
sleep 0.3
back_us=$(key BackSpace)
for k in 8 9 10; do tap_at $((back_us + 2800000 + (k - 8) * 1200000)) "$k" 0.75; done
sleep 0.3

log "Escape, save, check the saved lines and each tag against its press"
keys Escape
save "$saved"
check_saved "$saved" "${TAP_LYRICS[@]}"
# Per stretch (named by its speed but for the first two):
# c = median(tag - speed * press), then each tag against that line.
for k in 1 2 3 4 5 6 7 8 9 10; do
    echo "${stretch[$k]} $k $(((pressed[$k] - play_us) / 1000)) ${TAGS_MS[k - 1]}"
done | sort -k1,1 -k2,2n | awk -v tol="$TOLERANCE_MS" -v minlag="$MIN_START_LAG_MS" -v maxlag="$MAX_START_LAG_MS" '
    function check(   a, b, t, c) {   # the stretch read so far
        for (a = 1; a <= m; a++) for (b = a + 1; b <= m; b++) if (d[b] < d[a]) { t = d[a]; d[a] = d[b]; d[b] = t }
        c = m % 2 ? d[(m + 1) / 2] : (d[m / 2] + d[m / 2 + 1]) / 2
        if (st == 1) printf "the sound started %d ms after P\n", -c
        if (st == 1 && (-c < minlag || -c > maxlag)) { print "FAIL: the start lag"; bad = 1 }
        for (a = 1; a <= m; a++) {
            e = line[a, "d"] - c
            printf "line %d (stretch %s): pressed at %d ms, tag %d ms, error %+d ms\n", line[a, "k"], st, line[a, "p"], line[a, "g"], e
            if (e > tol || e < -tol) { print "FAIL: more than " tol " ms off"; bad = 1 }
        }
        m = 0
    }
    $1 != st { if (m) check(); st = $1 }
    { v = st == 0.75 ? 0.75 : 1; d[++m] = $4 - v * $3; line[m, "d"] = d[m]; line[m, "k"] = $2; line[m, "p"] = $3; line[m, "g"] = $4 }
    END { check(); exit bad }' >&2 || fail "tags do not match their presses"
close_ends
