#!/usr/bin/env bash
# Closing the window (Alt+F4) with unsaved lyrics asks first: Escape and
# "取消" keep the window, "保存" saves through the dialog and closes only
# once saved, "不保存" closes without writing.
source "$(dirname "$0")/lib.sh"

e2e_start
lyrics=$E2E_DIR/lyrics-gbk.txt
saved=$E2E_DIR/closing.lrc
make_lyrics_gbk "$lyrics"
choose_file "$BTN_IMPORT_TEXT" 导入歌词 "$lyrics"

log "Escape on the close prompt keeps the window"
open_close_prompt
keys Escape
wait_until 10 "the close prompt to close" window_gone "$PROMPT"
expect_window_stays "Escape on the close prompt"

log "取消 keeps the window"
open_close_prompt
answer_close_prompt 取消
expect_window_stays "取消 on the close prompt"

log "保存, then cancelling the save dialog, keeps the window and writes nothing"
open_close_prompt
answer_close_prompt 保存
dialog=$(find_window '^保存歌词$')
wait_until 10 "the save dialog to have the focus" window_has_focus "$dialog"
keys Escape
wait_until 10 "the save dialog to close" window_gone "$dialog"
expect_window_stays "the save was cancelled"
[ ! -e "$saved" ] || fail "a cancelled save wrote $saved"

log "保存 with a file name saves and closes"
open_close_prompt
answer_close_prompt 保存
dialog=$(find_window '^保存歌词$')
type_into_dialog "$dialog" "$saved"
expect_program_ends "after saving from the close prompt"
expect_file "$saved" expected_saved

log "a second run: unsaved edits, 不保存 closes without writing"
e2e_start_app
choose_file "$BTN_IMPORT_TEXT" 导入歌词 "$lyrics"
before=$(md5sum <"$saved")
open_close_prompt
answer_close_prompt 不保存
expect_program_ends "after 不保存"
[ "$(md5sum <"$saved")" = "$before" ] || fail "不保存 changed $saved"
log "passed"
