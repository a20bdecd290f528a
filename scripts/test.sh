#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds, and runs the whole
# test suite through CTest. Extra arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test
build=${TARNWICK_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${TARNWICK_CMAKE_ARGS:-}
cmake --build "$build" -j "$(nproc)"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@"
