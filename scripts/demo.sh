#!/usr/bin/env bash
# Runs the logger against the simulated 1-Wire adapter on loopback: installs
# what is missing, builds a demo build whose compiled-in adapter address is
# the simulator's, starts the simulator, then the logger. When the logger
# ends, the simulator is stopped too. Extra arguments go to the simulator
# (try --help on tools/tarnwick-simadapter). Unless they set a page delay, the
# simulator answers each page after 15 ms, as a real adapter does. Its request
# log is kept under about twice TARNWICK_DEMO_LOG_MAX_BYTES (8 MiB by default):
# when it grows past that, it is moved to adapter-requests.log.1.
set -euo pipefail
cd "$(dirname "$0")/.."

port=${TARNWICK_DEMO_PORT:-8642}
scripts/install-deps.sh
cmake -S . -B build-demo -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTARNWICK_ADAPTER_ADDRESS="127.0.0.1:${port}" -DTARNWICK_BUILD_TESTS=OFF -DTARNWICK_BUILD_BENCH=OFF
cmake --build build-demo -j "$(nproc)" --target tarnwick tarnwick-simadapter

sim_args=("$@")
pace=(--delay-ms 15)
for arg in "$@"; do
  case $arg in --delay-ms | --delay-ms=* | --page-delay | --page-delay=*) pace=() ;; esac
done

log=build-demo/adapter-requests.log
max_log_bytes=${TARNWICK_DEMO_LOG_MAX_BYTES:-8388608}
build-demo/tools/tarnwick-simadapter --host 127.0.0.1 --port "$port" --log "$log" \
  "${pace[@]}" "${sim_args[@]}" &
sim=$!
# The simulator appends to its log, so the log can be copied aside and emptied
# in place while it runs (a line written in between may be lost).
(
  while kill -0 "$sim" 2>/dev/null; do
    if [ "$(stat -c %s "$log" 2>/dev/null || echo 0)" -gt "$max_log_bytes" ]; then
      cp -f "$log" "$log.1" && : >"$log"
    fi
    sleep 5
  done
) &
rotator=$!
trap 'kill "$sim" "$rotator" 2>/dev/null; wait "$sim" "$rotator" 2>/dev/null || true' EXIT
# Wait until the simulator answers.
for _ in $(seq 1 50); do
  curl -s -o /dev/null "http://127.0.0.1:${port}/1Wire/GetLock.html" && break
  sleep 0.1
done
echo "Simulated adapter on http://127.0.0.1:${port} (request log: $log)"
build-demo/src/app/tarnwick
