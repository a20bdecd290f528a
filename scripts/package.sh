#!/usr/bin/env bash
# Builds the Debian package build-package/tarnwick_<version>_<arch>.deb:
# installs what is missing, builds a Release without the tests and the
# benchmarks, and lets cpack compute the dependencies and pack it. Extra
# arguments go to the CMake configuration, e.g. -DTARNWICK_ADAPTER_ADDRESS=...
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh package
build=build-package
# Compiled and linked with the flags Debian builds its packages with, all the
# hardening included (fortified functions, stack protector, read-only
# relocations bound at start-up).
buildflags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$(buildflags CPPFLAGS) $(buildflags CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(buildflags LDFLAGS)" \
  -DTARNWICK_BUILD_TESTS=OFF -DTARNWICK_BUILD_BENCH=OFF "$@"
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/tarnwick_*.deb
(cd "$build" && cpack -G DEB)
ls "$build"/tarnwick_*.deb
