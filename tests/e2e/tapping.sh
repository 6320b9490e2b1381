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
# Editor line of lyric line k (1..10).
LYRIC_AT=(x 2 3 5 6 7 9 10 11 13 14)

e2e_start
song=$E2E_DIR/song.mp3
lyrics=$E2E_DIR/lyrics.txt
saved=$E2E_DIR/tapped.lrc
sox -n -r 44100 -c 2 -b 16 "$E2E_DIR/tone.wav" synth 40 sine 440 vol 0.2
ffmpeg -loglevel error -y -i "$E2E_DIR/tone.wav" -c:a libmp3lame -b:a 128k -metadata title="e2e tone" "$song"
printf '%s\n' "${TAP_LYRICS[@]}" >"$lyrics"

log "import the song and the lyrics through the real dialogs"
choose_file 导入歌曲 导入歌曲 "$song"
song_ready() { [ "$(title)" = "Tarvelin v1.0 by:Quorrin e2e tone [00:00.00]" ]; }
wait_until 10 "the song to be loaded (title: $(title))" song_ready
choose_file 导入文本 导入歌词 "$lyrics"

coproc PRESSER { exec xdotool -; }
E2E_PIDS+=("$PRESSER_PID")
# press KEY: sends it (held 30 ms) and prints the moment (us) it was pressed.
press() {
    local down
    echo "keydown $1" >&"${PRESSER[1]}"
    down=$(now_us)
    sleep 0.03
    echo "keyup $1" >&"${PRESSER[1]}"
    echo "$down"
}
# "mm:ss.xx" to milliseconds.
to_ms() {
    local m=${1%%:*} rest=${1#*:}
    echo $(((10#$m * 60 + 10#${rest%%.*}) * 1000 + 10#${rest#*.} * 10))
}
# tap_at US LINE STRETCH SPEED: Space at that moment, recorded as the press
# that gave lyric line LINE its tag.
declare -A pressed stretch speed_of
tap_at() {
    [ "$(now_us)" -lt "$1" ] || fail "the tap for line $2 was not ready in time"
    sleep_until "$1"
    pressed[$2]=$(press space)
    stretch[$2]=$3
    speed_of[$3]=$4
}

log "F2 turns tap mode on, P plays"
wait_until 10 "the main window to have the focus back" window_has_focus "$WIN"
keys F2
sleep 0.3
play_us=$(press p)
playing() { [[ $(title) =~ \[([0-9]+:[0-9]{2}\.[0-9]{2})\]$ ]] && [ "$(to_ms "${BASH_REMATCH[1]}")" -gt 0 ]; }
wait_until 5 "the title's position to run" playing
screenshot tap-mode "$WIN"

log "tap lines 1-5"
for k in 1 2 3 4 5; do tap_at $((play_us + 2000000 + (k - 1) * 1200000)) "$k" 1 1; done

log "step back to line 5 and tap it again, then lines 6-8; undo line 8 and tap it again"
sleep 0.6
back_us=$(press BackSpace)
for k in 5 6 7 8; do tap_at $((back_us + 2400000 + (k - 5) * 1200000)) "$k" 2 1; done
sleep 0.6
press ctrl+z >/dev/null
tap_at $(($(now_us) + 1200000)) 8 2 1

log "at 0.75x: step back to line 8 and tap lines 8-10"
click player 3
keys Down Down Down Right Down Return   # 暂停 停止 播放速度 > 0.50× 0.75×
sleep 0.3
back_us=$(press BackSpace)
for k in 8 9 10; do tap_at $((back_us + 2800000 + (k - 8) * 1200000)) "$k" 3 0.75; done
sleep 0.3
screenshot after-tapping "$WIN"

log "Escape, then save through the real dialog"
keys Escape
choose_file 保存歌词 保存歌词 "$saved"
wait_until 5 "the saved file" test -s "$saved"

log "check the saved lines"
mapfile -t saved_lines < <(tr -d '\r' <"$saved")
[ "${#saved_lines[@]}" -eq $((${#TAP_LYRICS[@]} + 1)) ] ||
    fail "${#saved_lines[@]} lines saved, expected ${#TAP_LYRICS[@]} and the final empty one"
declare -A tag_ms
previous=-1
for i in "${!TAP_LYRICS[@]}"; do
    line=${saved_lines[i]} want=${TAP_LYRICS[i]}
    if [ -z "$want" ] || [[ $want == "[ar:"* ]]; then
        [ "$line" = "$want" ] || fail "line $((i + 1)) should stay as it was: '$line'"
        continue
    fi
    [[ $line =~ ^\[([0-9]{2}:[0-5][0-9]\.[0-9]{2})\](.*)$ ]] || fail "line $((i + 1)) has no tag: $line"
    [ "${BASH_REMATCH[2]}" = "$want" ] || fail "line $((i + 1)) has more than one tag or lost its text: $line"
    ms=$(to_ms "${BASH_REMATCH[1]}")
    [ "$ms" -gt "$previous" ] || fail "the tag of line $((i + 1)) does not come after the one before: $line"
    previous=$ms
    for k in "${!LYRIC_AT[@]}"; do [ "${LYRIC_AT[k]}" = "$i" ] && tag_ms[$k]=$ms; done
done

# Per stretch: c = median(tag - speed * press), then each tag against its line.
report=$(for k in 1 2 3 4 5 6 7 8 9 10; do
    s=${stretch[$k]}
    echo "$s ${speed_of[$s]} $k $(((pressed[$k] - play_us) / 1000)) ${tag_ms[$k]}"
done | sort -k1,1n -k3,3n | awk -v tol="$TOLERANCE_MS" -v minlag="$MIN_START_LAG_MS" -v maxlag="$MAX_START_LAG_MS" '
    { s[NR] = $1; v[NR] = $2; k[NR] = $3; p[NR] = $4; g[NR] = $5; d[NR] = $5 - $2 * $4; n[$1]++; list[$1] = list[$1] " " NR }
    END {
        bad = 0; worst = 0
        for (st in n) {
            m = split(substr(list[st], 2), idx, " ")
            for (a = 1; a <= m; a++) vals[a] = d[idx[a]]
            for (a = 1; a <= m; a++) for (b = a + 1; b <= m; b++) if (vals[b] < vals[a]) { t = vals[a]; vals[a] = vals[b]; vals[b] = t }
            c = (m % 2) ? vals[(m + 1) / 2] : (vals[m / 2] + vals[m / 2 + 1]) / 2
            if (st == 1) {
                lag = -c / v[idx[1]]
                printf "stretch 1: the sound started %d ms after P\n", lag
                if (lag < minlag || lag > maxlag) { printf "FAIL start lag %d ms\n", lag; bad = 1 }
            }
            for (a = 1; a <= m; a++) {
                i = idx[a]; e = d[i] - c
                printf "line %d (stretch %d, %.2fx): pressed at %d ms, tag %d ms, error %+d ms\n", k[i], st, v[i], p[i], g[i], e
                if (e < 0) e = -e
                if (e > worst) worst = e
                if (e > tol) { printf "FAIL line %d is %d ms off\n", k[i], e; bad = 1 }
            }
        }
        printf "largest error %d ms\n", worst
        exit bad
    }') || { echo "$report" >&2; fail "tags do not match their presses"; }
echo "$report" >&2

log "saved work: closing asks nothing and ends the program"
keys alt+F4
wait_until 10 "the program to end" eval '! app_running'
wait "$APP_PID" || fail "the program ended with status $?"
log "passed"
