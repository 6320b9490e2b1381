#!/usr/bin/env bash
# Escape in each file dialog changes nothing: no song is unloaded or restarted
# (the place the user is tagging at survives), no text is imported, nothing
# is written.
source "$(dirname "$0")/lib.sh"

e2e_start
song=$E2E_DIR/song.mp3
lyrics=$E2E_DIR/lyrics-utf8.txt
make_song "$song"
make_lyrics_utf8 "$lyrics"
EMPTY_TITLE="Tarvelin v1.0 by:Quorrin  [00:00.00]"

log "cancel the song dialog with nothing loaded"
cancel_dialog "$BTN_IMPORT_SONG" 导入歌曲
# The title names no song once the next tick has refreshed it.
wait_until 5 "the title of an empty player" eval '[ "$(title)" = "$EMPTY_TITLE" ]'

log "import song and text, then play by focusing the player and pressing Space"
choose_file "$BTN_IMPORT_SONG" 导入歌曲 "$song"
wait_until 10 "the song to be loaded" eval '[[ "$(title)" == *"e2e beeps [00:00.00]" ]]'
choose_file "$BTN_IMPORT_TEXT" 导入歌词 "$lyrics"
click $PLAYER_DISPLAY
keys space
position_cs() { to_cs "$(title_position)"; }
wait_until 5 "playback to reach 1 s" eval '[ "$(position_cs)" -ge 100 ]'

log "cancel the song dialog while playing"
before=$(position_cs)
cancel_dialog "$BTN_IMPORT_SONG" 导入歌曲
# Still the same song, still playing on from where it was.
wait_until 5 "the position to move on past $before" eval '[ "$(position_cs)" -gt "$before" ]'
[[ "$(title)" == *"e2e beeps ["* ]] || fail "the song is gone after a cancelled dialog: $(title)"
[ "$(position_cs)" -gt "$before" ] || fail "the song restarted after a cancelled dialog: $(title)"

log "cancel the text dialog: nothing is added"
cancel_dialog "$BTN_IMPORT_TEXT" 导入歌词

log "edit, then cancel the save dialog: nothing is written"
click $EDITOR_SPOT
keys ctrl+End
xdotool type "xyz"
cancel_dialog "$BTN_SAVE" 保存歌词
sleep 0.3
leftovers=$(find "$E2E_DIR" -maxdepth 1 -newer "$lyrics" -type f ! -name '*.log' ! -name display)
[ -z "$leftovers" ] || fail "a cancelled save wrote $leftovers"

log "the editor holds the text imported once plus the edit"
edited() {
    printf '%s\r\n' "${LYRICS[@]}"
    printf 'xyz\r\n'
}
save_as "$E2E_DIR/after-cancels.lrc"
expect_file "$E2E_DIR/after-cancels.lrc" edited
log "passed"
