#!/usr/bin/env bash
# Builds (when needed) and runs the whole test suite.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
build_project
cd "$BUILD_DIR"
ctest --output-on-failure --timeout 300 "$@"
