#!/usr/bin/env bash
# Builds the Debian package build-package/tarnwick_<version>_<arch>.deb:
# installs what is missing, builds a Release without the tests and the
# benchmarks, and lets cpack compute the dependencies and pack it. Extra
# arguments go to the CMake configuration, e.g. -DTARNWICK_ADAPTER_ADDRESS=...
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
build=build-package
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DTARNWICK_BUILD_TESTS=OFF -DTARNWICK_BUILD_BENCH=OFF "$@"
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/tarnwick_*.deb
(cd "$build" && cpack -G DEB)
ls "$build"/tarnwick_*.deb
