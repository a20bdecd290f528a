#!/usr/bin/env bash
# scripts/demo.sh run with this build's simulator and a stand-in for the
# logger that records how it was started and whether the simulator answered:
# - on a free port the logger starts with --adapter naming the demo's own
#   simulator, which answers; when the logger ends the demo ends with its
#   status and leaves no process behind;
# - on a taken port the demo says which port and how to pick another, starts
#   no logger and leaves the program on that port running;
# - with --help it shows the simulator's help and starts no logger.
# Usage: DemoTest.sh DEMO SIMULATOR
set -euo pipefail
demo=$1 simulator=$2
work=$(mktemp -d)
foreign=
cleanup() {
  [ -z "$foreign" ] || kill "$foreign" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.txt; do [ -e "$f" ] && { echo "--- ${f##*/}" && cat "$f"; }; done >&2
  exit 1
}
answers() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

build=$work/build
mkdir -p "$build/tools" "$build/src/app"
ln -s "$simulator" "$build/tools/tarnwick-simadapter"
cat >"$build/src/app/tarnwick" <<'EOF'
#!/usr/bin/env bash
{
  echo "$*"
  curl -sf --noproxy "*" -o /dev/null "http://$2/1Wire/GetLock.html" && echo answered
  echo "session $(ps -o sid= -p $$)"
} >"$STANDIN_RECORD"
exit 7
EOF
chmod +x "$build/src/app/tarnwick"
export TARNWICK_DEMO_BUILD_DIR=$build STANDIN_RECORD=$work/logger.txt

run_demo() { # OUTPUT ARGS...: the demo's status
  local out=$1 status=0
  shift
  setsid --wait "$demo" "$@" >"$out" 2>&1 </dev/null || status=$?
  echo "$status"
}

# A free port: the simulator picks one.
status=$(TARNWICK_DEMO_PORT=0 run_demo "$work/free.txt")
[ "$status" -eq 7 ] || fail "free port: the demo ended with status $status, not the logger's 7"
port=$(sed -n 's|^Simulated adapter on http://127\.0\.0\.1:\([0-9]*\) .*|\1|p' "$work/free.txt")
[ -n "$port" ] || fail "free port: the demo did not name its simulator's address"
[ "$(sed -n 1p "$work/logger.txt")" = "--adapter 127.0.0.1:$port" ] ||
  fail "free port: the logger was not pointed at the demo's simulator"
[ "$(sed -n 2p "$work/logger.txt")" = answered ] ||
  fail "free port: the simulator did not answer when the logger started"
session=$(sed -n 's/^session *//p' "$work/logger.txt")
left=$(ps -o pid=,args= -s "$session" || true)
[ -z "$left" ] || fail "free port: left running after the demo ended: $left"
rm -f "$work/logger.txt"

# A taken port: another simulator holds it.
"$simulator" --port 0 >"$work/foreign.txt" 2>&1 &
foreign=$!
for _ in $(seq 1 100); do
  grep -q '^listening on' "$work/foreign.txt" && break
  sleep 0.05
done
taken=$(sed -n 's|^listening on http://127\.0\.0\.1:\([0-9]*\)$|\1|p' "$work/foreign.txt")
[ -n "$taken" ] || fail "the other simulator did not start"
status=$(TARNWICK_DEMO_PORT=$taken run_demo "$work/taken.txt")
[ "$status" -ne 0 ] || fail "taken port: the demo ended with status 0"
grep -q "port $taken on 127.0.0.1 is already taken" "$work/taken.txt" ||
  fail "taken port: the demo did not say which port is taken"
grep -q "TARNWICK_DEMO_PORT=[0-9]" "$work/taken.txt" ||
  fail "taken port: the demo did not say how to pick another port"
[ ! -e "$work/logger.txt" ] || fail "taken port: the logger was started"
kill -0 "$foreign" 2>/dev/null && answers "$taken" ||
  fail "taken port: the program on the port was stopped"

# --help: the simulator's options, no logger.
status=$(run_demo "$work/help.txt" --help)
[ "$status" -eq 0 ] || fail "--help: the demo ended with status $status"
grep -q -- "--crc-error-rate" "$work/help.txt" || fail "--help: no simulator help"
[ ! -e "$work/logger.txt" ] || fail "--help: the logger was started"
