#!/usr/bin/env bash
# Builds (when needed) and starts Tarvelin.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages "${RUN_PACKAGES[@]}"
build_project
exec "$BUILD_DIR/src/app/tarvelin" "$@"
