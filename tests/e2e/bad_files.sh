#!/usr/bin/env bash
# Files that are not what they claim: a text file named .mp3 is reported in the
# player's display and a binary file named .txt in a message box; either way
# the lyrics in the editor stay as they were.
source "$(dirname "$0")/lib.sh"

e2e_start
lyrics=$E2E_DIR/lyrics-gbk.txt
make_lyrics_gbk "$lyrics"
printf 'These are lyrics, not a song.\r\n' >"$E2E_DIR/not-a-song.mp3"
head -c 4096 /dev/urandom | tr 'A' '\0' >"$E2E_DIR/binary.txt"
printf '\0\0\0\0' >>"$E2E_DIR/binary.txt"

choose_file "$BTN_IMPORT_TEXT" 导入歌词 "$lyrics"

log "a text file named .mp3"
[ "$(player_message_pixels)" -eq 0 ] || fail "the player shows a message before anything went wrong"
choose_file "$BTN_IMPORT_SONG" 导入歌曲 "$E2E_DIR/not-a-song.mp3"
wait_until 10 "the player to show its message" eval '[ "$(player_message_pixels)" -gt 50 ]'
screenshot bad-song "$WIN"
app_running || fail "the program ended on a bad song"

log "a binary file named .txt"
click $BTN_IMPORT_TEXT
dialog=$(find_window '^导入歌词$')
type_into_dialog "$dialog" "$E2E_DIR/binary.txt"
# The message box has the dialog's title; it is the other window of that name.
box=$(find_window '^导入歌词$' "$dialog")
wait_until 10 "the message box to have the focus" window_has_focus "$box"
screenshot bad-text
keys Return
wait_until 10 "the message box to close" window_gone "$box"
expect_window_stays "after the bad text file"

log "the lyrics are all still there"
save_as "$E2E_DIR/after-bad-files.lrc"
expect_file "$E2E_DIR/after-bad-files.lrc" expected_saved
log "passed"
