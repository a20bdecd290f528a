#!/usr/bin/env bash
# Runs the logger against the simulated 1-Wire adapter on loopback: installs
# what is missing, builds a demo build whose compiled-in adapter address is
# the simulator's, starts the simulator, then the logger. When the logger
# ends, the simulator is stopped too. Extra arguments go to the simulator
# (try --help on tools/tarnwick-simadapter).
set -euo pipefail
cd "$(dirname "$0")/.."

port=${TARNWICK_DEMO_PORT:-8642}
scripts/install-deps.sh
cmake -S . -B build-demo -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTARNWICK_ADAPTER_ADDRESS="127.0.0.1:${port}" -DTARNWICK_BUILD_TESTS=OFF -DTARNWICK_BUILD_BENCH=OFF
cmake --build build-demo -j "$(nproc)" --target tarnwick tarnwick-simadapter

log=build-demo/adapter-requests.log
build-demo/tools/tarnwick-simadapter --host 127.0.0.1 --port "$port" --log "$log" "$@" &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true' EXIT
# Wait until the simulator answers.
for _ in $(seq 1 50); do
  curl -s -o /dev/null "http://127.0.0.1:${port}/1Wire/GetLock.html" && break
  sleep 0.1
done
echo "Simulated adapter on http://127.0.0.1:${port} (request log: $log)"
build-demo/src/app/tarnwick
