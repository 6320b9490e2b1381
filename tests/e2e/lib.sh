# shellcheck shell=bash
# The rig of the end-to-end runs: a private X server with a small window
# manager, a private PulseAudio with a null sink, the program itself, and the
# mouse and keyboard helpers that drive it through xdotool. Source it, then
# call e2e_start; everything started here is stopped when the script exits.
#
# Usage (tests/e2e.cmake registers each script): script.sh PROGRAM ARTIFACT_DIR
# E2E_VERSION: the project version the caption shows (major.minor).
# Set E2E_KEEP=1 to keep the scratch folder for a look after a run.

set -euo pipefail

E2E_PROGRAM=${1:?usage: $0 PROGRAM ARTIFACT_DIR}
E2E_ARTIFACTS=${2:?usage: $0 PROGRAM ARTIFACT_DIR}
E2E_NAME=$(basename "$0" .sh)
E2E_DIR=$(mktemp -d "${TMPDIR:-/tmp}/tarvelin-$E2E_NAME.XXXXXX")
CAPTION="Tarvelin v${E2E_VERSION:-1.0} by:Quorrin"
mkdir -p "$E2E_ARTIFACTS"
E2E_PIDS=()   # started background processes

# Where the window places its controls (src/window/mainwindow.cpp), in
# twips from the client area's corner: left top width height. At 96 dpi a
# pixel is 15 twips. The play button is laid out by the player itself: the
# first button of its control row, near the window's bottom edge.
declare -A TWIPS=(
    [导入文本]="6360 1440 1335 375"
    [导入歌曲]="6360 1920 1335 375"
    [插入时间]="6360 2880 1335 375"
    [editor]="120 1680 6015 3975"    # Text3 inside its frame at 0 1440
    [player]="0 5880 7815 1950"      # the player's display area
    [play]="90 8265 360 360"
)
# at NAME: the pixel at the centre of a control.
# shellcheck disable=SC2086
at() { set -- ${TWIPS[$1]}; echo $((($1 + $3 / 2) / 15)) $((($2 + $4 / 2) / 15)); }

log() { printf '[%s %s] %s\n' "$E2E_NAME" "$(date +%T.%3N)" "$*" >&2; }

# On failure: a screenshot and the logs into the artifact folder.
fail() {
    log "FAIL: $*"
    [ -z "${DISPLAY:-}" ] || import -window root "$E2E_ARTIFACTS/$E2E_NAME-failure.png" 2>/dev/null || log "no screenshot"
    for f in app.log xvfb.log openbox.log pulse.log; do [ ! -f "$E2E_DIR/$f" ] || cp "$E2E_DIR/$f" "$E2E_ARTIFACTS/$E2E_NAME-$f"; done
    [ ! -s "$E2E_DIR/app.log" ] || { log "program output:"; sed 's/^/    /' "$E2E_DIR/app.log" >&2; }
    exit 1
}

e2e_cleanup() {
    local status=$? pid
    for pid in "${E2E_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    sleep 0.3
    for pid in "${E2E_PIDS[@]}"; do kill -9 "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
    # In a sanitizer build any report from the program fails the run.
    if grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:' "$E2E_DIR/app.log" 2>/dev/null; then
        log "FAIL: the program reported errors:"; sed 's/^/    /' "$E2E_DIR/app.log" >&2; status=1
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
    until "$@"; do [ "$(now_us)" -lt "$end" ] || fail "timed out waiting for $what"; sleep 0.05; done
}

# sleep_until MICROSECONDS: sleeps until that moment (at once when past).
sleep_until() { local left=$(($1 - $(now_us))); [ "$left" -le 0 ] || sleep "$((left / 1000000)).$(printf %06d $((left % 1000000)))"; }

e2e_start() {
    command -v Xvfb >/dev/null && command -v xdotool >/dev/null ||
        { echo "SKIP: the end-to-end runs need Xvfb and xdotool"; exit 77; }
    # -displayfd: the server picks a free display number and tells it. Held
    # keys repeat after 300 ms, 100 times a second: a fast setting some users
    # choose, and one that shows when the program takes repeats for presses
    # (at 25 a second Qt tells most of them apart on its own).
    Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp -noreset r -ardelay 300 -arinterval 10 \
        3>"$E2E_DIR/display" >"$E2E_DIR/xvfb.log" 2>&1 &
    E2E_PIDS+=($!)
    wait_until 20 "the X server" test -s "$E2E_DIR/display"
    DISPLAY=:$(head -1 "$E2E_DIR/display")
    export DISPLAY
    # Openbox, as a user's desktop would have: it activates new windows and
    # gives dialogs the focus.
    openbox --sm-disable >"$E2E_DIR/openbox.log" 2>&1 &
    E2E_PIDS+=($!)
    wait_until 20 "the window manager" eval 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"'
    # A private sound server whose only sink is a null sink that consumes
    # audio in real time, as a sound card would.
    mkdir -p "$E2E_DIR/pulse" "$E2E_DIR/home/.config" "$E2E_DIR/runtime"
    chmod 700 "$E2E_DIR/runtime"
    export PULSE_SERVER=unix:$E2E_DIR/pulse/native
    HOME=$E2E_DIR/home XDG_RUNTIME_DIR=$E2E_DIR/pulse pulseaudio --daemonize=no --exit-idle-time=-1 -n \
        --use-pid-file=no --disable-shm=yes --log-target=stderr \
        --load="module-native-protocol-unix auth-anonymous=1 socket=$E2E_DIR/pulse/native" \
        --load="module-null-sink sink_name=e2e rate=48000 channels=2" >"$E2E_DIR/pulse.log" 2>&1 &
    E2E_PIDS+=($!)
    wait_until 20 "the sound server" eval 'pactl info >/dev/null 2>&1'
    e2e_launch
    main_window
}

# Starts the program with its home, settings and data in the scratch folder:
# nothing from earlier runs, while a second start finds what the first one left.
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
    # shellcheck disable=SC2034
    local id='' pattern=$1
    wait_until 20 "a window titled $1" eval 'app_running || fail "the program ended"
        id=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -1) && [ -n "$id" ]'
    echo "$id"
}

# main_window: waits for the window with the caption and its focus.
main_window() {
    WIN=$(find_window "^${CAPTION//./\\.}")
    wait_until 10 "the main window to have the focus" window_has_focus "$WIN"
}

window_has_focus() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }

# point CONTROL: moves the mouse onto a control of the main window.
# shellcheck disable=SC2046
point() { xdotool mousemove --window "$WIN" $(at "$1"); }
click() { point "$1" && xdotool click "${2:-1}"; }
keys() { xdotool key --delay 20 "$@"; }
# to_line N: the caret to the start of line N (from 0) of the editor.
# shellcheck disable=SC2046
to_line() { click editor && keys ctrl+Home $(yes Down | head -n "$1") Home; }

# dialog TITLE [PATH]: waits for the dialog so titled and its focus, types the
# path and accepts it, or answers with Return (the default button) when the
# path is "-", or Escape without one; waits until it is gone.
dialog() {
    local id
    id=$(find_window "^$1\$")
    wait_until 10 "the dialog $1 to have the focus" window_has_focus "$id"
    case ${2:-} in
    "") keys Escape ;;
    -) keys Return ;;
    *) xdotool type --delay 5 "$2" && keys Return ;;
    esac
    wait_until 10 "the dialog $1 to close" eval "! xwininfo -id $id 2>/dev/null | grep -q IsViewable"
}

# import_files LYRICS_FILE: song.mp3 (titled "e2e") and the lyrics through the
# real dialogs.
import_files() {
    click 导入歌曲 && dialog 导入歌曲 "$E2E_DIR/song.mp3"
    wait_until 10 "the song to be loaded" eval '[ "$(xdotool getwindowname "$WIN")" = "$CAPTION e2e [00:00.00]" ]'
    click 导入文本 && dialog 导入歌词 "$1"
}

# import_beeping LYRICS_FILE N: song.mp3 beeps (50 ms at 1 kHz) at every
# second from 1 s to N s and lasts N + 2 s; it and the lyrics come in as
# import_files, then the recording and the presser start (see below).
import_beeping() {
    sox -n -r 44100 -c 2 -b 16 "$E2E_DIR/song.wav" synth 0.05 sine 1000 vol 0.5 pad 0 0.95 repeat $(($2 - 1)) pad 1 1
    ffmpeg -loglevel error -y -i "$E2E_DIR/song.wav" -c:a libmp3lame -b:a 128k -metadata title=e2e "$E2E_DIR/song.mp3"
    import_files "$1"
    start_recording
    start_presser
}

# recorded: the text in the program's recovery file.
recorded() { jq -j .text "$E2E_DIR"/home/.local/share/Quorrin/Tarvelin/recovery/*.json 2>/dev/null; }

# "mm:ss.xx" to milliseconds.
to_ms() { echo $(((10#${1%%:*} * 60 + 10#${1:3:2}) * 1000 + 10#${1: -2} * 10)); }

# --- Timing presses against what was heard ---------------------------------
#
# The sound server's output is recorded while the song plays; a song that
# beeps once a second tells which moment of it was heard at any point of the
# recording. Presses go through one xdotool that is already running, and the
# script stamps the moment it hands each one over.

# How far a tag may be off the moment heard at its press: it is cut to the
# hundredth, 0..10 ms below the position, and the rest is the scatter of the
# way from xdotool through X to the program (largest error seen over 10 runs
# of the line taps here: 10 ms).
TAP_TOLERANCE_MS=20

# start_recording: what the sound server plays, into heard.raw (48 kHz mono).
start_recording() {
    parec -d e2e.monitor --raw --format=s16le --rate=48000 --channels=1 --latency-msec=10 >"$E2E_DIR/heard.raw" &
    RECORDER=$!
    E2E_PIDS+=("$RECORDER")
    wait_until 5 "the recording to start" eval 'pactl list short source-outputs | grep -q .'
}

# beeps_heard: the beeps in the recording, one a line into beeps.txt, in ms
# since it started: the first sample above a quarter of the loudest, after at
# least 0.3 s below that.
beeps_heard() {
    od -An -v -td2 -w2 "$E2E_DIR/heard.raw" | awk '
        { x[NR] = $1 < 0 ? -$1 : $1; if (x[NR] > peak) peak = x[NR] }
        END { for (i = 1; i <= NR; i++) if (x[i] >= peak / 4) { if (i - loud >= 14400) print (i - 1) / 48; loud = i } }
    ' >"$E2E_DIR/beeps.txt"
}

# stop_recording: once the beep after the last press is heard.
stop_recording() { sleep_until $((press_us[-1] + 1600000)); kill "$RECORDER"; }

# start_presser: the xdotool the presses go through.
start_presser() {
    coproc PRESSER { exec xdotool -; }
    E2E_PIDS+=("$PRESSER_PID")
}
# press DOWN UP: hands both to the presser 80 ms apart; prints the moment
# (us) the press was handed over.
press() { echo "$1" >&"${PRESSER[1]}"; now_us; sleep 0.08; echo "$2" >&"${PRESSER[1]}"; }
# press_at MS DOWN UP: the press at MS after play_us; its moment goes to press_us.
press_us=()
press_at() {
    local at_us=$((play_us + $1 * 1000))
    [ "$(now_us)" -lt $at_us ] || fail "press $((${#press_us[@]} + 1)) was not ready in time for its moment"
    sleep_until $at_us
    press_us+=("$(press "$2" "$3")")
}

# Awk functions for the checks, to put before a program that uses them.
# heard(r): the song moment (ms) heard at recording time r (ms), between the
# beeps around it; beep[1..n] as beeps_heard found them, beep k being second
# first_beep + k - 1 of the song (first_beep 1 unless set). A caller that
# changes the speed sets cut to the beep after which it changed: no press may
# fall between the two. It and when() leave the beep before in beep_at.
E2E_AWK='
    # END runs after an exit too: it begins with "if (failed) exit 1".
    function fail(why) { print "FAIL " why; failed = 1; exit 1 }
    function median(a, n,   i, j, t) {   # sorts a (mawk has no asort)
        for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j - 1] > a[j]; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
        return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    function read_beeps(file,   b) { n = 0; while ((getline b < file) > 0) beep[++n] = b; if (!first_beep) first_beep = 1 }
    function heard(r,   k) {
        for (k = 1; k < n && beep[k + 1] <= r; k++);
        if (k == n || k == cut || r < beep[1]) fail(sprintf("no beep heard around %.0f ms, or a press where the speed changed", r))
        beep_at = k
        return (first_beep + k - 1) * 1000 + (r - beep[k]) * 1000 / (beep[k + 1] - beep[k])
    }
    # when(ms): the recording time at which song moment ms was heard.
    function when(ms,   k) {
        k = int(ms / 1000) - first_beep + 1
        if (k < 1 || k >= n) fail(sprintf("song moment %d ms was not heard between two beeps", ms))
        beep_at = k
        return beep[k] + (ms - (first_beep + k - 1) * 1000) * (beep[k + 1] - beep[k]) / 1000
    }
'

# close_saving FILE: closes the window, answers 保存 and saves as FILE; waits
# for the program to end well.
close_saving() {
    keys alt+F4
    dialog Tarvelin -
    dialog 保存歌词 "$1"
    wait_until 10 "the program to end" eval '! app_running'
    wait "$APP_PID" || fail "the program ended with status $?"
}
