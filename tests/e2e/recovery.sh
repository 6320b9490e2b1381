#!/usr/bin/env bash
# Unsaved tagging survives a real crash: tag lines while the song plays, kill
# the program with SIGKILL, start it again and answer 恢复. Saved, the editor
# holds byte for byte what the program had recorded before it died. The rest
# of recovery (what is offered, when the file goes) is tst_recovery's part.
source "$(dirname "$0")/lib.sh"

recovery_dir=$E2E_DIR/home/.local/share/Quorrin/Tarvelin/recovery
TAGGED=2

e2e_start
song=$E2E_DIR/song.mp3
sox -n -r 44100 -c 2 -b 16 "$E2E_DIR/beeps.wav" synth 0.05 sine 1000 vol 0.5 pad 0 0.95 repeat 9 pad 1 1
ffmpeg -loglevel error -y -i "$E2E_DIR/beeps.wav" -c:a libmp3lame -b:a 128k -metadata title="e2e beeps" "$song"
printf '%s\n' "第一行 春眠不觉晓" "第二行 处处闻啼鸟" "Line three: plain ASCII" >"$E2E_DIR/lyrics.txt"

choose_file 导入歌曲 导入歌曲 "$song"
song_ready() { [ "$(title)" = "Tarvelin v1.0 by:Quorrin e2e beeps [00:00.00]" ]; }
wait_until 10 "the song to be loaded (title: $(title))" song_ready
choose_file 导入文本 导入歌词 "$E2E_DIR/lyrics.txt"

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
recorded >"$E2E_DIR/before-kill.txt"

log "SIGKILL, start again and answer 恢复 (the default button)"
kill -KILL "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
e2e_launch
question=$(find_window '^恢复歌词$')
wait_until 10 "the question to have the focus" window_has_focus "$question"
keys Return
wait_until 10 "the question to close" window_gone "$question"
WIN=$(find_window '^Tarvelin v1\.0 by:Quorrin')

log "save and compare"
saved=$E2E_DIR/restored.lrc
choose_file 保存歌词 保存歌词 "$saved"
wait_until 5 "the saved file" test -s "$saved"
# A save writes each line break as CR LF and one more CR LF at the end.
cmp -s "$saved" <(jq -Rsj 'gsub("\n"; "\r\n")' "$E2E_DIR/before-kill.txt"; printf '\r\n') ||
    fail "the restored text saves other bytes than were recorded before the kill: $(od -c "$saved" | head)"
log "passed"
