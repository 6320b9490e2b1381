#!/usr/bin/env bash
# Unsaved tagging survives a crash: tag a few lines while the song plays,
# kill the program with SIGKILL, start it again and answer 恢复. The editor
# then holds, byte for byte, what the program had recorded before it died
# (saved and compared), marked unsaved, and the song stands ready at its
# start. Saving and a clean close leave no recovery file behind.
source "$(dirname "$0")/lib.sh"

# The recovery folder stays inside the scratch home.
export XDG_DATA_HOME=$E2E_DIR/home/.local/share
recovery_dir=$XDG_DATA_HOME/Quorrin/Tarvelin/recovery
TAGGED=3

e2e_start
song=$E2E_DIR/song.mp3
lyrics=$E2E_DIR/lyrics-gbk.txt
saved=$E2E_DIR/restored.lrc
make_song "$song"
make_lyrics_gbk "$lyrics"

choose_file "$BTN_IMPORT_SONG" 导入歌曲 "$song"
song_ready() { [ "$(title)" = "Tarvelin v1.0 by:Quorrin e2e beeps [00:00.00]" ]; }
wait_until 10 "the song to be loaded (title: $(title))" song_ready
choose_file "$BTN_IMPORT_TEXT" 导入歌词 "$lyrics"

log "tag the first $TAGGED lines while the song plays"
click $BTN_PLAY
playing() { [ -n "$(title_position)" ] && [ "$(to_cs "$(title_position)")" -gt 0 ]; }
wait_until 5 "the song to play" playing
for ((i = 0; i < TAGGED; i++)); do
    click $EDITOR_SPOT
    keys ctrl+Home
    for ((d = 0; d < i; d++)); do keys Down; done
    keys Home
    click $BTN_INSERT_TIME
done

# The program writes its recovery file at most every 5 s: wait for the last tag.
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
# The question comes up over the window and takes the focus from it.
env -u QT_QPA_PLATFORMTHEME -u QT_STYLE_OVERRIDE -u QT_SCALE_FACTOR \
    HOME="$E2E_DIR/home" XDG_CONFIG_HOME="$E2E_DIR/home/.config" XDG_RUNTIME_DIR="$E2E_DIR/runtime" \
    QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 LANG=C.UTF-8 \
    "$E2E_PROGRAM" >>"$E2E_DIR/app.log" 2>&1 &
APP_PID=$!
E2E_PIDS+=("$APP_PID")
question=$(find_window '^恢复歌词$')
wait_until 10 "the question to have the focus" window_has_focus "$question"
screenshot question "$question"
keys Return
wait_until 10 "the question to close" window_gone "$question"
WIN=$(find_window '^Tarvelin v1\.0 by:Quorrin')
wait_until 10 "the restored song to stand ready (title: $(title))" song_ready

log "the restored text is unsaved: closing asks"
open_close_prompt
answer_close_prompt 取消
expect_window_stays "取消 after a restore"

log "save and compare"
save_as "$saved"
# What a save writes for an editor text: CR LF for each line break, one more at the end.
saved_form() { jq -Rsj 'gsub("\n"; "\r\n")' "$1"; printf '\r\n'; }
expect_file "$saved" saved_form "$before_kill"
mapfile -t saved_lines <"$saved"
tags=()
for ((i = 0; i < TAGGED; i++)); do
    [[ ${saved_lines[i]} =~ ^(\[[0-9]{2}:[0-5][0-9]\.[0-9]{2}\]) ]] || fail "line $((i + 1)) lost its tag: ${saved_lines[i]}"
    tags+=("${BASH_REMATCH[1]}")
done
expect_file "$saved" expected_saved "${tags[@]}"

log "saved: the recovery file is gone, and a clean close leaves nothing"
wait_until 5 "the recovery file to go once saved" eval '! compgen -G "$recovery_dir/*.json" >/dev/null'
keys alt+F4
expect_program_ends "after saving the restored text"
[ -z "$(ls -A "$recovery_dir")" ] || fail "the recovery folder still holds: $(ls -A "$recovery_dir")"
log "passed"
