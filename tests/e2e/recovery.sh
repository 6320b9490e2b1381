#!/usr/bin/env bash
# Unsaved tagging survives a crash: tag a few lines while the song plays,
# kill the program with SIGKILL, start it again and answer 恢复. The editor
# then holds, byte for byte, what the program had recorded before it died
# (saved and compared), marked unsaved, and the song stands ready at its
# start. Saving and a clean close leave no recovery file behind.
source "$(dirname "$0")/lib.sh"

recovery_dir=$E2E_DIR/home/.local/share/Quorrin/Tarvelin/recovery
TAGGED=3
LYRICS=("第一行 春眠不觉晓" "第二行 处处闻啼鸟" "第三行 夜来风雨声" "第四行 花落知多少" "Line five: plain ASCII")

e2e_start
song=$E2E_DIR/song.mp3
lyrics=$E2E_DIR/lyrics-gbk.txt
saved=$E2E_DIR/restored.lrc
sox -n -r 44100 -c 2 -b 16 "$E2E_DIR/beeps.wav" synth 0.05 sine 1000 vol 0.5 pad 0 0.95 repeat 9 pad 1 1
ffmpeg -loglevel error -y -i "$E2E_DIR/beeps.wav" -c:a libmp3lame -b:a 128k -metadata title="e2e beeps" "$song"
printf '%s\r\n' "${LYRICS[@]}" | iconv -f UTF-8 -t GBK >"$lyrics"

choose_file 导入歌曲 导入歌曲 "$song"
song_ready() { [ "$(title)" = "Tarvelin v1.0 by:Quorrin e2e beeps [00:00.00]" ]; }
wait_until 10 "the song to be loaded (title: $(title))" song_ready
choose_file 导入文本 导入歌词 "$lyrics"

log "tag the first $TAGGED lines while the song plays"
click play
playing() { [[ $(title) =~ \[00:0[0-9]\.[0-9]{2}\]$ ]] && ! song_ready; }
wait_until 5 "the song to play" playing
for ((i = 0; i < TAGGED; i++)); do
    click editor
    downs=()
    for ((d = 0; d < i; d++)); do downs+=(Down); done
    keys ctrl+Home "${downs[@]}" Home
    click 插入时间
done

# The recovery file is written at most every 5 s: wait for the last tag.
recorded() { jq -j .text "$recovery_dir"/*.json 2>/dev/null; }
all_tagged() { [ "$(recorded | grep -c '^\[[0-9][0-9]:[0-5][0-9]\.[0-9][0-9]\]')" -eq "$TAGGED" ]; }
wait_until 10 "the recovery file to hold $TAGGED tags" all_tagged
before_kill=$E2E_DIR/before-kill.txt
recorded >"$before_kill"
screenshot before-kill "$WIN"

log "SIGKILL"
kill -KILL "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
compgen -G "$recovery_dir/*.json" >/dev/null || fail "no recovery file is left after the kill"

log "start again and answer 恢复 (the default button)"
e2e_launch
question=$(find_window '^恢复歌词$')
wait_until 10 "the question to have the focus" window_has_focus "$question"
screenshot question "$question"
keys Return
wait_until 10 "the question to close" window_gone "$question"
WIN=$(find_window '^Tarvelin v1\.0 by:Quorrin')
wait_until 10 "the restored song to stand ready (title: $(title))" song_ready

log "the restored text is unsaved: closing asks (Escape keeps the window)"
keys alt+F4
dialog Tarvelin
sleep 0.3
app_running || fail "the program closed without asking about the restored text"

log "save and compare"
choose_file 保存歌词 保存歌词 "$saved"
wait_until 5 "the saved file" test -s "$saved"
# A save writes each line break as CR LF and one more CR LF at the end.
cmp -s "$saved" <(jq -Rsj 'gsub("\n"; "\r\n")' "$before_kill"; printf '\r\n') ||
    fail "the restored text saves other bytes than were recorded before the kill: $(od -c "$saved" | head)"
mapfile -t saved_lines <"$saved"
for i in "${!LYRICS[@]}"; do
    tag='\[[0-9]{2}:[0-5][0-9]\.[0-9]{2}\]'
    [ "$i" -lt "$TAGGED" ] || tag=
    [[ ${saved_lines[i]} =~ ^${tag}${LYRICS[i]}$'\r'$ ]] || fail "line $((i + 1)) is not as tagged: ${saved_lines[i]}"
done

log "saved: the recovery file is gone, and a clean close leaves nothing"
no_recovery_file() { ! compgen -G "$recovery_dir/*.json" >/dev/null; }
wait_until 5 "the recovery file to go once saved" no_recovery_file
keys alt+F4
wait_until 10 "the program to end" eval '! app_running'
wait "$APP_PID" || fail "the program ended with status $?"
[ -z "$(ls -A "$recovery_dir")" ] || fail "the recovery folder still holds: $(ls -A "$recovery_dir")"
log "passed"
