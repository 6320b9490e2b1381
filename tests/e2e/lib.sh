# shellcheck shell=bash
# The rig of the end-to-end runs: a private X server with a small window
# manager, a private PulseAudio with a null sink, the program itself, and the
# mouse and keyboard helpers that drive it through xdotool. Source it, then
# call e2e_start; everything started here is stopped when the script exits.
#
# Usage (tests/e2e.cmake registers each script): script.sh PROGRAM ARTIFACT_DIR
# Set E2E_KEEP=1 to keep the scratch folder for a look after a run.

set -euo pipefail

E2E_PROGRAM=${1:?usage: $0 PROGRAM ARTIFACT_DIR}
E2E_ARTIFACTS=${2:?usage: $0 PROGRAM ARTIFACT_DIR}
E2E_NAME=$(basename "$0" .sh)
E2E_DIR=$(mktemp -d "${TMPDIR:-/tmp}/tarvelin-$E2E_NAME.XXXXXX")
mkdir -p "$E2E_ARTIFACTS"
E2E_PIDS=()   # started background processes, stopped in reverse order
APP_PID=
WIN=

# Where the window places its controls (src/ui/window/mainwindow.cpp), in
# twips from the client area's corner: left top width height. At 96 dpi a
# pixel is 15 twips. The play button is laid out by the player itself: the
# first button of its control row, near the window's bottom edge.
declare -A TWIPS=(
    [导入文本]="6360 1440 1335 375"
    [导入歌曲]="6360 1920 1335 375"
    [保存歌词]="6360 2400 1335 375"
    [插入时间]="6360 2880 1335 375"
    [editor]="120 1680 6015 3975"    # Text3 inside its frame at 0 1440
    [player]="0 5880 7815 1950"      # the player's display area
    [play]="90 8265 360 360"
)
# at NAME: the pixel at the centre of a control.
at() {
    local l t w h
    read -r l t w h <<<"${TWIPS[$1]}"
    echo $(((l + w / 2) / 15)) $(((t + h / 2) / 15))
}

log() { printf '[%s %s] %s\n' "$E2E_NAME" "$(date +%T.%3N)" "$*" >&2; }
fail() {
    log "FAIL: $*"
    e2e_keep_evidence failure
    exit 1
}

e2e_cleanup() {
    local status=$? i pid
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
        kill "${E2E_PIDS[i]}" 2>/dev/null || true
    done
    for pid in "${E2E_PIDS[@]}"; do
        for _ in 1 2 3 4 5 6 7 8 9 10; do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    # In a sanitizer build any report from the program fails the run.
    if grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:' "$E2E_DIR/app.log" 2>/dev/null; then
        log "FAIL: the program reported errors:"
        sed 's/^/    /' "$E2E_DIR/app.log" >&2
        status=1
    fi
    if [ "${E2E_KEEP:-0}" = 1 ]; then log "scratch folder kept: $E2E_DIR"; else rm -rf "$E2E_DIR"; fi
    exit "$status"
}
trap e2e_cleanup EXIT
trap 'exit 130' INT TERM

# Microseconds since the epoch, without starting a process.
now_us() { local t=$EPOCHREALTIME; echo "${t/./}"; }

# wait_until SECONDS DESCRIPTION COMMAND...: polls every 50 ms.
wait_until() {
    local end=$(($(now_us) + $1 * 1000000)) what=$2
    shift 2
    until "$@"; do
        [ "$(now_us)" -lt "$end" ] || fail "timed out waiting for $what"
        sleep 0.05
    done
}

# sleep_until MICROSECONDS: sleeps until that moment (at once when past).
sleep_until() {
    local left=$(($1 - $(now_us)))
    [ "$left" -le 0 ] || sleep "$(printf '%d.%06d' $((left / 1000000)) $((left % 1000000)))"
}

wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

e2e_start() {
    command -v Xvfb >/dev/null && command -v xdotool >/dev/null ||
        { echo "SKIP: the end-to-end runs need Xvfb and xdotool"; exit 77; }
    local tool
    for tool in xprop openbox pulseaudio pactl parec sox ffmpeg import iconv; do
        command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/test.sh installs it)"
    done
    [ -x "$E2E_PROGRAM" ] || fail "no program at $E2E_PROGRAM"

    # -displayfd: the server picks a free display number and tells it.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp -noreset \
        3>"$E2E_DIR/display" >"$E2E_DIR/xvfb.log" 2>&1 &
    E2E_PIDS+=($!)
    wait_until 20 "the X server" test -s "$E2E_DIR/display"
    export DISPLAY=:$(head -1 "$E2E_DIR/display")
    # Openbox, as a user's desktop would have: it activates new windows and
    # gives dialogs the focus.
    openbox --sm-disable >"$E2E_DIR/openbox.log" 2>&1 &
    E2E_PIDS+=($!)
    wait_until 20 "the window manager" wm_ready

    # A private sound server whose only sink is a null sink that consumes
    # audio in real time, as a sound card would.
    mkdir -p "$E2E_DIR/pulse" "$E2E_DIR/home/.config" "$E2E_DIR/runtime"
    chmod 700 "$E2E_DIR/runtime"
    export PULSE_SERVER=unix:$E2E_DIR/pulse/native
    HOME=$E2E_DIR/home XDG_RUNTIME_DIR=$E2E_DIR/pulse \
        pulseaudio --daemonize=no --exit-idle-time=-1 -n --use-pid-file=no --disable-shm=yes \
        --log-target=stderr \
        --load="module-native-protocol-unix auth-anonymous=1 socket=$E2E_DIR/pulse/native" \
        --load="module-null-sink sink_name=e2e rate=48000 channels=2" >"$E2E_DIR/pulse.log" 2>&1 &
    E2E_PIDS+=($!)
    wait_until 20 "the sound server" pactl info >/dev/null 2>&1

    e2e_launch
    WIN=$(find_window '^Tarvelin v1\.0 by:Quorrin')
    local size
    size=$(xdotool getwindowgeometry "$WIN" | sed -n 's/.*Geometry: //p')
    [ "$size" = 517x580 ] || fail "the window is $size, not 517x580: the click positions would be off"
    wait_until 10 "the main window to have the focus" window_has_focus "$WIN"
    log "program running on $DISPLAY, window $WIN"
}

# Starts the program with its home, settings and data in the scratch folder:
# nothing from earlier runs, while a second start in the same run finds what
# the first one left (recovery files).
e2e_launch() {
    env -u QT_QPA_PLATFORMTHEME -u QT_STYLE_OVERRIDE -u QT_SCALE_FACTOR \
        HOME="$E2E_DIR/home" XDG_CONFIG_HOME="$E2E_DIR/home/.config" XDG_DATA_HOME="$E2E_DIR/home/.local/share" \
        XDG_RUNTIME_DIR="$E2E_DIR/runtime" QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 LANG=C.UTF-8 \
        "$E2E_PROGRAM" >>"$E2E_DIR/app.log" 2>&1 &
    APP_PID=$!
    E2E_PIDS+=("$APP_PID")
}

app_running() { kill -0 "$APP_PID" 2>/dev/null; }

# find_window TITLE_REGEX: waits for a visible window so titled; prints its id.
find_window() {
    local end=$(($(now_us) + 20000000)) id
    until id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) && [ -n "$id" ]; do
        app_running || fail "the program ended while waiting for a window titled $1"
        [ "$(now_us)" -lt "$end" ] || fail "no window titled $1 within 20 s"
        sleep 0.05
    done
    echo "$id"
}

window_gone() { ! xwininfo -id "$1" 2>/dev/null | grep -q IsViewable; }
window_has_focus() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }
title() { xdotool getwindowname "$WIN"; }

# point CONTROL: moves the mouse onto a control of the main window.
# shellcheck disable=SC2046
point() { xdotool mousemove --window "$WIN" $(at "$1"); }
click() { point "$1" && xdotool click "${2:-1}"; }
keys() { xdotool key --delay 20 "$@"; }

# dialog TITLE [PATH]: waits for the dialog so titled, types the path and
# accepts it, or leaves with Escape without one; waits until it is gone.
dialog() {
    local id
    id=$(find_window "^$1\$")
    wait_until 10 "the dialog $1 to have the focus" window_has_focus "$id"
    if [ -n "${2:-}" ]; then
        xdotool type --delay 5 "$2"
        keys Return
    else
        keys Escape
    fi
    wait_until 10 "the dialog $1 to close" window_gone "$id"
}

# choose_file BUTTON DIALOG_TITLE PATH: clicks a button and answers its dialog.
choose_file() {
    click "$1"
    dialog "$2" "$3"
}

screenshot() {
    import -window "${2:-root}" "$E2E_ARTIFACTS/$E2E_NAME-$1.png" 2>/dev/null || log "no screenshot: import failed"
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
