# Shared by the end-to-end scripts: a private X server with a small window
# manager, a private PulseAudio with a null sink, the program itself, and the
# mouse and keyboard helpers that drive it through xdotool. Source it, then
# call e2e_start; everything started here is stopped when the script exits.
#
# Usage (tests/e2e.cmake registers each script): script.sh PROGRAM ARTIFACT_DIR
#   PROGRAM       the tarvelin binary
#   ARTIFACT_DIR  where screenshots and logs are kept (created, not cleaned)
# Set E2E_KEEP=1 to keep the scratch folder for a look after a run.

set -euo pipefail

E2E_PROGRAM=${1:?usage: $0 PROGRAM ARTIFACT_DIR}
E2E_ARTIFACTS=${2:?usage: $0 PROGRAM ARTIFACT_DIR}
E2E_NAME=$(basename "$0" .sh)
E2E_DIR=$(mktemp -d "${TMPDIR:-/tmp}/tarvelin-$E2E_NAME.XXXXXX")
mkdir -p "$E2E_ARTIFACTS"
E2E_PIDS=()         # started background processes, stopped in reverse order
APP_PID=            # the program
WIN=                # its main window

# Client-area coordinates of the controls at 96 dpi (the window's layout is
# fixed in twips; tests/gui/tst_mainwindow.cpp checks the same rectangles).
readonly BTN_IMPORT_TEXT="468 108"   # Command1 导入文本
readonly BTN_IMPORT_SONG="468 140"   # Command2 导入歌曲
readonly BTN_SAVE="468 172"          # Command4 保存歌词
readonly BTN_INSERT_TIME="468 204"   # Command3 插入时间
readonly EDITOR_SPOT="200 360"       # Text3, below the last line of a short text
readonly PLAYER_DISPLAY="120 440"    # music1: its display area (a click focuses the player)
readonly BTN_PLAY="18 563"           # music1: its play/pause button

log() { printf '[%s %s] %s\n' "$E2E_NAME" "$(date +%T.%3N)" "$*" >&2; }
fail() {
    log "FAIL: $*"
    e2e_keep_evidence failure
    exit 1
}

e2e_skip_unless() {
    local tool
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "SKIP: $tool is not installed; the end-to-end runs need a real X server and xdotool"
            exit 77
        fi
    done
}

e2e_require() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || fail "$tool is not installed (scripts/test.sh installs it)"
    done
}

e2e_cleanup() {
    local status=$?
    local i pid
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
        pid=${E2E_PIDS[i]}
        pkill -P "$pid" 2>/dev/null || true   # a pipeline's members first
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${E2E_PIDS[@]}"; do
        # Give each a moment to go, then make sure.
        for _ in 1 2 3 4 5 6 7 8 9 10; do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    # In a sanitizer build any report from the program fails the run, even
    # one that did not stop it.
    if grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:' "$E2E_DIR/app.log" 2>/dev/null; then
        log "FAIL: the program reported errors:"
        sed 's/^/    /' "$E2E_DIR/app.log" >&2
        status=1
    fi
    if [ "${E2E_KEEP:-0}" = 1 ]; then
        log "scratch folder kept: $E2E_DIR"
    else
        rm -rf "$E2E_DIR"
    fi
    exit "$status"
}
trap e2e_cleanup EXIT
trap 'exit 130' INT TERM

# Microseconds since the epoch, without starting a process.
now_us() { local t=$EPOCHREALTIME; echo "${t/./}"; }

# wait_until DEADLINE_SECONDS DESCRIPTION COMMAND...: polls every 50 ms.
wait_until() {
    local seconds=$1 what=$2
    shift 2
    local end=$(($(now_us) + seconds * 1000000))
    until "$@"; do
        [ "$(now_us)" -lt "$end" ] || fail "timed out after ${seconds}s waiting for $what"
        sleep 0.05
    done
}

# sleep_until MICROSECONDS: sleeps until that moment (at once when past).
sleep_until() {
    local left=$(($1 - $(now_us)))
    [ "$left" -gt 0 ] && sleep "$(printf '%d.%06d' $((left / 1000000)) $((left % 1000000)))"
    return 0
}

e2e_start_x() {
    local displayfile=$E2E_DIR/display
    # -displayfd: the server picks a free display number and tells it.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp -noreset \
        3>"$displayfile" >"$E2E_DIR/xvfb.log" 2>&1 &
    E2E_PIDS+=($!)
    wait_until 20 "the X server" test -s "$displayfile"
    export DISPLAY=:$(head -1 "$displayfile")
    log "X server on $DISPLAY"
}

wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# Openbox, as a user's desktop would have: it activates new windows, gives
# dialogs the focus, and closes a window politely on Alt+F4.
e2e_start_wm() {
    openbox --sm-disable >"$E2E_DIR/openbox.log" 2>&1 &
    E2E_PIDS+=($!)
    wait_until 20 "the window manager" wm_ready
}

# A private sound server whose only sink is a null sink that consumes audio in
# real time, as a sound card would.
e2e_start_sound() {
    mkdir -p "$E2E_DIR/pulse"
    export PULSE_SERVER=unix:$E2E_DIR/pulse/native
    HOME=$E2E_DIR/home XDG_RUNTIME_DIR=$E2E_DIR/pulse \
        pulseaudio --daemonize=no --exit-idle-time=-1 -n --use-pid-file=no --disable-shm=yes \
        --log-target=stderr \
        --load="module-native-protocol-unix auth-anonymous=1 socket=$E2E_DIR/pulse/native" \
        --load="module-null-sink sink_name=e2e rate=48000 channels=2" \
        --load=module-always-sink >"$E2E_DIR/pulse.log" 2>&1 &
    E2E_PIDS+=($!)
    wait_until 20 "the sound server" pactl info >/dev/null 2>&1
}

# Starts the program and waits for its window.
e2e_start_app() {
    mkdir -p "$E2E_DIR/home/.config" "$E2E_DIR/runtime"
    chmod 700 "$E2E_DIR/runtime"
    # A fresh home: no remembered dialog folders or settings from earlier runs.
    env -u QT_QPA_PLATFORMTHEME -u QT_STYLE_OVERRIDE -u QT_SCALE_FACTOR \
        HOME="$E2E_DIR/home" XDG_CONFIG_HOME="$E2E_DIR/home/.config" XDG_RUNTIME_DIR="$E2E_DIR/runtime" \
        QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 LANG=C.UTF-8 \
        "$E2E_PROGRAM" >>"$E2E_DIR/app.log" 2>&1 &
    APP_PID=$!
    E2E_PIDS+=("$APP_PID")
    WIN=$(find_window '^Tarvelin v1\.0 by:Quorrin')
    local size
    size=$(xdotool getwindowgeometry "$WIN" | sed -n 's/.*Geometry: //p')
    [ "$size" = 517x580 ] || fail "the window is $size, not 517x580: the click positions would be off"
    wait_until 10 "the main window to have the focus" window_has_focus "$WIN"
    log "program running, window $WIN"
}

e2e_start() {
    e2e_skip_unless Xvfb xdotool
    e2e_require xprop openbox pulseaudio pactl sox ffmpeg import iconv
    [ -x "$E2E_PROGRAM" ] || fail "no program at $E2E_PROGRAM"
    e2e_start_x
    e2e_start_wm
    e2e_start_sound
    e2e_start_app
}

app_running() { kill -0 "$APP_PID" 2>/dev/null; }

# A visible window whose title matches the regex; prints its id.
# A second argument names a window id that does not count (a dialog that is
# closing while a message box of the same title opens).
visible_window() {
    local id
    for id in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
        [ "$id" != "${2:-}" ] && { echo "$id"; return 0; }
    done
    return 1
}

find_window() {
    local end=$(($(now_us) + 20000000)) id
    while :; do
        if id=$(visible_window "$@"); then
            echo "$id"
            return 0
        fi
        app_running || fail "the program ended while waiting for a window titled $1"
        [ "$(now_us)" -lt "$end" ] || fail "no window titled $1 within 20 s"
        sleep 0.05
    done
}

window_gone() { ! xdotool getwindowname "$1" >/dev/null 2>&1 || ! xwininfo -id "$1" 2>/dev/null | grep -q IsViewable; }
window_has_focus() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }
title() { xdotool getwindowname "$WIN"; }

# point X Y [WINDOW]: moves the mouse to client coordinates of a window.
point() { xdotool mousemove --window "${3:-$WIN}" "$1" "$2"; }

# click X Y [WINDOW]: a left click there.
click() {
    point "$@"
    xdotool click 1
}

keys() { xdotool key --delay 20 "$@"; }

# Types a path into a file dialog's name field and accepts it.
type_into_dialog() {
    local dialog=$1 text=$2
    wait_until 10 "the dialog to have the focus" window_has_focus "$dialog"
    xdotool type --delay 5 "$text"
    keys Return
}

# choose_file BUTTON DIALOG_TITLE PATH: clicks a button, waits for the file
# dialog, types the path and accepts it; waits until the dialog is gone.
choose_file() {
    local button=$1 title=$2 path=$3 dialog
    # shellcheck disable=SC2086
    click $button
    dialog=$(find_window "^$title\$")
    type_into_dialog "$dialog" "$path"
    wait_until 10 "the dialog to close" window_gone "$dialog"
}

# cancel_dialog BUTTON DIALOG_TITLE: opens the dialog and leaves with Escape.
cancel_dialog() {
    local button=$1 title=$2 dialog
    # shellcheck disable=SC2086
    click $button
    dialog=$(find_window "^$title\$")
    wait_until 10 "the dialog to have the focus" window_has_focus "$dialog"
    keys Escape
    wait_until 10 "the dialog to close" window_gone "$dialog"
}

# save_as PATH: saves through the real save dialog and waits for the file.
save_as() {
    choose_file "$BTN_SAVE" 保存歌词 "$1"
    wait_until 5 "the saved file $1" test -s "$1"
}

# The close prompt: a message box titled "Tarvelin" with the buttons 保存,
# 不保存 and 取消 side by side along its bottom edge.
open_close_prompt() {
    keys alt+F4
    PROMPT=$(find_window '^Tarvelin$')
    wait_until 10 "the close prompt to have the focus" window_has_focus "$PROMPT"
}
answer_close_prompt() {
    local width height x
    read -r width height < <(xwininfo -id "$PROMPT" | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w, h}')
    case $1 in
        保存) x=$((width * 18 / 100)) ;;
        不保存) x=$((width * 50 / 100)) ;;
        取消) x=$((width * 82 / 100)) ;;
        *) fail "no button $1 on the close prompt" ;;
    esac
    click "$x" $((height - 25)) "$PROMPT"
    wait_until 10 "the close prompt to close" window_gone "$PROMPT"
}

# The program still runs with its window, a moment after an answer.
expect_window_stays() {
    sleep 0.5
    app_running || fail "the program ended: $1"
    xwininfo -id "$WIN" 2>/dev/null | grep -q IsViewable || fail "the window is gone: $1"
}

expect_program_ends() {
    wait_until 10 "the program to end ($1)" eval '! app_running'
    local status=0
    wait "$APP_PID" || status=$?
    [ "$status" -eq 0 ] || fail "the program ended with status $status"
}

# Pixels in the player's display area drawn in the bluish colour the player
# gives its messages (the palette's highlight colour; its title and time are
# black on white): none while all is well.
player_message_pixels() {
    import -window "$WIN" -crop 505x130+6+396 +repage png:- |
        convert png:- -fx 'b - r > 0.25 ? 1 : 0' -format '%[fx:round(mean * w * h)]' info:
}

# The position shown in the window title, "mm:ss.xx", refreshed every second.
title_position() { title | sed -n 's/.*\[\([0-9]*:[0-9][0-9]\.[0-9][0-9]\)\]$/\1/p'; }

# "mm:ss.xx" to hundredths.
to_cs() {
    local m=${1%%:*} rest=${1#*:}
    echo $((10#$m * 6000 + 10#${rest%%.*} * 100 + 10#${rest#*.}))
}

screenshot() {
    import -window "${2:-root}" "$E2E_ARTIFACTS/$E2E_NAME-$1.png" 2>/dev/null || log "no screenshot: import failed"
    log "screenshot $E2E_ARTIFACTS/$E2E_NAME-$1.png"
}

e2e_keep_evidence() {
    [ -n "${DISPLAY:-}" ] && screenshot "$1"
    local f
    for f in app.log xvfb.log openbox.log pulse.log; do
        [ -f "$E2E_DIR/$f" ] && cp "$E2E_DIR/$f" "$E2E_ARTIFACTS/$E2E_NAME-$f"
    done
    [ -s "$E2E_DIR/app.log" ] && { log "program output:"; sed 's/^/    /' "$E2E_DIR/app.log" >&2; }
    return 0
}

# --- Test material -----------------------------------------------------------

# A 15-second song: silence with a 50 ms 1 kHz beep every 2 seconds from 2 s
# to 12 s, as an mp3 with a title tag.
make_song() {
    local wav=$E2E_DIR/beeps.wav
    sox -n -r 44100 -c 2 -b 16 "$wav" synth 0.05 sine 1000 vol 0.5 pad 0 1.95 repeat 5 pad 2 1
    ffmpeg -loglevel error -y -i "$wav" -c:a libmp3lame -b:a 128k -metadata title="e2e beeps" "$1"
}

# The lyrics, one line each; written as GBK with CR LF like a text saved by
# a Chinese Windows editor.
LYRICS=(
    "第一行 春眠不觉晓"
    "第二行 处处闻啼鸟"
    "第三行 夜来风雨声"
    "第四行 花落知多少"
    "Line five: plain ASCII"
)
make_lyrics_gbk() {
    printf '%s\r\n' "${LYRICS[@]}" | iconv -f UTF-8 -t GBK >"$1"
}
# The same as UTF-8 with Unix line endings.
make_lyrics_utf8() {
    printf '%s\n' "${LYRICS[@]}" >"$1"
}

# expect_file PATH BYTES_COMMAND...: the file holds exactly what the command prints.
expect_file() {
    local path=$1
    shift
    cmp -s "$path" <("$@") || fail "$path holds other bytes than expected:
$(diff <(od -c "$path") <("$@" | od -c) | head -20)"
}

# What a save of the editor holding LYRICS with the given tags in front
# must write: UTF-8, CR LF, and the editor's final empty line.
expected_saved() {
    local i tags=("$@")
    for i in "${!LYRICS[@]}"; do
        printf '%s%s\r\n' "${tags[i]:-}" "${LYRICS[i]}"
    done
    printf '\r\n'
}
