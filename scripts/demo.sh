#!/usr/bin/env bash
# Runs the logger against the simulated 1-Wire adapter on loopback: installs
# what building and running need, builds build-demo/ (the logger and its
# headless program, tarnwick-report, the simulator and the example-log
# generator bench_report), starts the simulator
# and, once that simulator says it listens and answers, the logger, pointed at
# it with --adapter. When the logger ends, the simulator is stopped; nothing
# else is touched (a simulator already running on the port is left alone, and
# the demo says the port is taken).
#
# Extra arguments go to the simulator (--help lists them; the demo then ends
# without starting the logger). Unless they set a page delay, the simulator
# answers each page after 15 ms, as a real adapter does.
#
# Environment:
#   TARNWICK_DEMO_PORT           the simulator's port (default 8642; 0 picks a free one)
#   TARNWICK_DEMO_LOG_MAX_BYTES  the request log is moved to adapter-requests.log.1
#                                when it grows past this (default 8 MiB)
#   TARNWICK_DEMO_BUILD_DIR      use the programs of this build tree as they stand
#                                (no installation, configuration or build)
set -euo pipefail
cd "$(dirname "$0")/.."

me=demo.sh
host=127.0.0.1
port=${TARNWICK_DEMO_PORT:-8642}
if ! [[ $port =~ ^[0-9]{1,5}$ ]] || [ "$port" -gt 65535 ]; then
  echo "$me: TARNWICK_DEMO_PORT must be a port number (0 to 65535), got '$port'" >&2
  exit 2
fi

build=${TARNWICK_DEMO_BUILD_DIR:-}
if [ -z "$build" ]; then
  build=build-demo
  scripts/install-deps.sh run
  # The compiled-in address is the simulator's, so that build-demo's logger
  # started by hand finds a demo simulator too.
  address=()
  [ "$port" -eq 0 ] || address=(-DTARNWICK_ADAPTER_ADDRESS="$host:$port")
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${address[@]}" \
    -DTARNWICK_BUILD_TESTS=OFF -DTARNWICK_BUILD_BENCH=ON
  cmake --build "$build" -j "$(nproc)" --target tarnwick tarnwick-headless tarnwick-report \
    tarnwick-simadapter bench_report
fi

pace=(--delay-ms 15)
for arg in "$@"; do
  case $arg in --delay-ms | --delay-ms=* | --page-delay | --page-delay=*) pace=() ;; esac
done

# What this script starts, and only that, is ended when it ends.
started=()
scratch=$(mktemp -d)
finish() {
  local pid
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${started[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Whether something accepts connections at HOST PORT.
answers() { (exec 3<>"/dev/tcp/$1/$2") 2>/dev/null; }

log=$build/adapter-requests.log
"$build/tools/tarnwick-simadapter" --host "$host" --port "$port" --log "$log" "${pace[@]}" "$@" \
  >"$scratch/out" 2>"$scratch/err" &
sim=$!
started+=("$sim")

# The simulator prints "listening on http://HOST:PORT" once it listens. Only
# whole lines count.
listening() {
  local line
  while IFS= read -r line; do
    case $line in "listening on http://"*) echo "${line#listening on http://}" && return 0 ;; esac
  done <"$scratch/out"
  return 1
}
address=
for _ in $(seq 1 200); do
  address=$(listening) && break
  kill -0 "$sim" 2>/dev/null || break
  sleep 0.05
done

if [ -z "$address" ]; then
  status=0
  if kill -0 "$sim" 2>/dev/null; then
    echo "$me: the simulator did not say it was listening within 10 s; the logger was not started" >&2
    exit 1
  fi
  wait "$sim" || status=$?
  started=()
  cat "$scratch/out"
  cat "$scratch/err" >&2
  if [ "$status" -eq 0 ]; then
    # It answered and ended by itself, as with --help.
    printf "\n./scripts/demo.sh passes these options to the simulator; TARNWICK_DEMO_PORT picks its port (default 8642).\n"
    exit 0
  fi
  # Which address it was refused, as the simulator says it; else the demo's own.
  refused_host=$host refused_port=$port
  if [[ $(cat "$scratch/err") =~ cannot\ listen\ on\ ([0-9.]+):([0-9]+) ]]; then
    refused_host=${BASH_REMATCH[1]} refused_port=${BASH_REMATCH[2]}
  fi
  if grep -q "Address already in use" "$scratch/err" ||
    { grep -q "cannot listen on" "$scratch/err" && answers "$refused_host" "$refused_port"; }; then
    free=$((refused_port + 1))
    while [ "$free" -lt 65535 ] && answers "$host" "$free"; do free=$((free + 1)); done
    {
      echo "$me: port $refused_port on $refused_host is already taken by another program (an earlier"
      echo "demo's simulator?), so the demo's simulator cannot listen there. The logger was not started"
      echo "and the program on that port was left alone. Pick another port, for example:"
      echo "  TARNWICK_DEMO_PORT=$free ./scripts/demo.sh"
    } >&2
  else
    echo "$me: the simulator could not start (exit status $status); the logger was not started" >&2
  fi
  exit "$status"
fi

# It said it listens: it must still run and answer there.
if ! kill -0 "$sim" 2>/dev/null || ! answers "${address%:*}" "${address##*:}"; then
  echo "$me: the simulator said it listens on $address but does not answer there; the logger was not started" >&2
  exit 1
fi
echo "Simulated adapter on http://$address (request log: $log)"

# The simulator appends to its log, so the log can be copied aside and emptied
# in place while it runs (a line written in between may be lost).
max_log_bytes=${TARNWICK_DEMO_LOG_MAX_BYTES:-8388608}
(
  nap=
  trap 'kill $nap 2>/dev/null; wait; exit 0' TERM
  while kill -0 "$sim" 2>/dev/null; do
    if [ "$(stat -c %s "$log" 2>/dev/null || echo 0)" -gt "$max_log_bytes" ]; then
      cp -f "$log" "$log.1" && : >"$log"
    fi
    sleep 5 &
    nap=$!
    wait "$nap"
  done
) &
started+=("$!")

# Without a session bus, the first program asking for one (Qt asks for the
# global menu bar and for the screen-reader bridge) has libdbus start
# dbus-launch and a dbus-daemon that outlive the demo. There is nothing to
# find on a bus that nobody runs, so the logger is told there is none.
logger_env=()
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && ! [ -S "${XDG_RUNTIME_DIR:-/nonexistent}/bus" ]; then
  logger_env=(DBUS_SESSION_BUS_ADDRESS=disabled:)
fi
env "${logger_env[@]}" "$build/src/app/tarnwick" --adapter "$address" &
logger=$!
started+=("$logger")
status=0
wait "$logger" || status=$?
exit "$status"
