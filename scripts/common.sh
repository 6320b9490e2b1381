# Shared by run.sh and test.sh: install what is missing, then configure and
# build incrementally into one build folder.
set -euo pipefail

TARVELIN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${TARVELIN_BUILD_DIR:-$TARVELIN_ROOT/build}

# What building and running needs on Debian 12.
RUN_PACKAGES=(cmake g++ make pkg-config qt6-base-dev libmpv-dev libgl-dev fonts-wqy-microhei
              libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
              libuchardet-dev libtag1-dev qt6-translations-l10n)
# What the tests need on top: a real X server and input for the end-to-end
# runs, a sound server with a null sink, the desktop file checkers.
TEST_PACKAGES=(xvfb xauth xdotool x11-utils openbox imagemagick pulseaudio pulseaudio-utils sox ffmpeg
               desktop-file-utils appstream dpkg-dev lintian clang libclang-rt-14-dev
               libpulse-dev libxtst-dev espeak-ng)

missing_packages() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || echo "$p"
    done
}

ensure_packages() {
    local missing
    missing=$(missing_packages "$@")
    [ -z "$missing" ] && return 0
    echo "Installing missing packages: $(echo $missing | tr '\n' ' ')"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo=(sudo)
        else
            echo "error: these Debian packages are missing and I am neither root nor able to use sudo:" >&2
            echo "  $missing" >&2
            echo "Install them as root (apt-get install ...) and run me again." >&2
            exit 1
        fi
    fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
    # shellcheck disable=SC2086
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
}

build_project() {
    cmake -S "$TARVELIN_ROOT" -B "$BUILD_DIR" "$@" >/dev/null
    cmake --build "$BUILD_DIR" --parallel "$(nproc)"
}
