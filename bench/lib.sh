# Shared set-up of the bench scripts: sourced, never run.
#
#   source "$(dirname "$0")/lib.sh"      sets here, repo, build, tmp and the clean-up
#   bench_needs TOOL...                   stops with a hint when a tool is missing
#   bench_build TARGET...                 configures (benches on) and builds them
#   bench_start_x [SIZE]                  a private Xvfb; exports DISPLAY
#   bench_start_pulse SINK [OPTION...]    a private PulseAudio with a null sink named SINK
#   bench_songs [DIR]                     the real songs' folder, or "" (says so) when absent
#
# Environment: BUILD_DIR (default <repo>/build-bench).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[1]}")" && pwd)
repo=$(cd "$here/.." && pwd)
build=${BUILD_DIR:-$repo/build-bench}
bench_name=$(basename "${BASH_SOURCE[1]}")
tmp=$(mktemp -d)
bench_pids=()

bench_cleanup() {
    local i
    for ((i = ${#bench_pids[@]} - 1; i >= 0; i--)); do kill "${bench_pids[i]}" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$tmp"
}
trap bench_cleanup EXIT

bench_fail() {
    echo "$bench_name: $*" >&2
    exit 1
}

bench_needs() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null ||
            bench_fail "needs $tool (apt-get install xvfb pulseaudio pulseaudio-utils ffmpeg sox espeak-ng)"
    done
}

bench_build() {
    cmake -S "$repo" -B "$build" -DTARVELIN_BUILD_BENCH=ON >/dev/null
    cmake --build "$build" -j2 --target "$@" >/dev/null
}

# Waits up to 5 s for a command to succeed.
bench_wait_for() {
    local _
    for _ in $(seq 100); do
        "$@" && return 0
        sleep 0.05
    done
    return 1
}

bench_start_x() {
    Xvfb -displayfd 3 -screen 0 "${1:-1024x768x24}" -dpi 96 -nolisten tcp 3>"$tmp/display" >/dev/null 2>&1 &
    bench_pids+=($!)
    bench_wait_for test -s "$tmp/display" || bench_fail "Xvfb did not start"
    DISPLAY=:$(head -1 "$tmp/display")
    export DISPLAY
}

bench_start_pulse() {
    local sink=$1
    shift
    mkdir -p -m 700 "$tmp/pulse" "$tmp/home"
    export PULSE_RUNTIME_PATH=$tmp/pulse XDG_RUNTIME_DIR=$tmp/pulse PULSE_SERVER=unix:$tmp/pulse/native
    HOME=$tmp/home XDG_CONFIG_HOME=$tmp/home/.config pulseaudio --daemonize=no --system=no -n \
        --exit-idle-time=-1 --use-pid-file=no --log-target=stderr "$@" \
        --load="module-native-protocol-unix auth-anonymous=1 socket=$tmp/pulse/native" \
        --load="module-null-sink sink_name=$sink rate=48000 channels=2" 2>"$tmp/pulseaudio.log" &
    bench_pids+=($!)
    bench_wait_for pactl info >/dev/null 2>&1 || {
        cat "$tmp/pulseaudio.log" >&2
        bench_fail "pulseaudio did not start"
    }
}

bench_songs() {
    local songs=${1:-${SONGS_DIR:-$repo/../shared/songs}}
    if [[ -f $songs/index.tsv ]]; then
        echo "$songs"
    else
        echo "no real songs at $songs (index.tsv missing)" >&2
    fi
}
