#!/bin/bash
# The checks of the boot test, run inside the booted test system by
# tarnwick-boot-check.service (see boot-test.sh), once per boot: line N of
# /etc/tarnwick-boot/plan names the checks of boot N, each a function check_NAME
# below. Each check's outcome goes to /var/lib/tarnwick-boot/results as
#   PASS|FAIL BOOT NAME SECONDS what it saw
# then "done BOOT"; the unit powers the container off afterwards. The service
# is tarnwick.service, polling the simulator of tarnwick-adapter.service.
# A check returns non-zero (after `fail`) when what it saw is wrong.
set -u
export LC_ALL=C.UTF-8 SYSTEMD_PAGER= SYSTEMD_COLORS=0

state=/var/lib/tarnwick-boot
results=$state/results
log=/var/lib/tarnwick/tarnwick.log

# A whole record: the timestamp (the date in the locale's form, then the
# time), ", ", the temperature words joined by " , ", CR LF.
record=$'^[0-9][^,]* [0-9]{1,2}:[0-9]{2}:[0-9]{2}( [AP]M)?, [0-9A-F]{4}( , [0-9A-F]{4})*\r$'

# --- helpers ---------------------------------------------------------------

detail=
note() { detail="${detail:+$detail; }$*"; }
fail() {
  note "$*"
  return 1
}
prop() { systemctl show -p "$1" --value "${2:-tarnwick}"; }
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }
size() { stat -c %s "$1" 2>/dev/null || echo 0; }
lines() { wc -l <"$1"; }
running() { [ "$(prop ActiveState)/$(prop SubState)" = active/running ]; }
# A systemd time span as whole seconds ("30s", "1min 30s", "500ms").
seconds() {
  awk '{ s = 0; for (i = 1; i <= NF; i++) { v = $i + 0; u = $i; sub(/^[0-9.]+/, "", u);
         s += u == "min" ? v * 60 : u == "ms" ? v / 1000 : u == "h" ? v * 3600 : v }
         printf "%d", s + 0.999 }' <<<"$1"
}
# wait_until SECONDS WHAT COMMAND...: COMMAND polled until it succeeds; fails
# the check with WHAT when it has not within SECONDS.
wait_until() {
  local limit=$1 what=$2 start
  shift 2
  start=$(now)
  until "$@"; do
    awk -v a="$start" -v b="$(now)" -v l="$limit" 'BEGIN { exit !(b - a < l) }' ||
      fail "no $what within ${limit}s" || return 1
    sleep 0.2
  done
}
grown() { [ "$(size "$1")" -gt "$2" ]; }
more_lines() { [ "$(lines "$1")" -gt "$2" ]; }
# journal_has SINCE PATTERN [journalctl options]: the service's journal since
# SINCE (a `date` timestamp) holds a line matching PATTERN.
journal_has() {
  local from=$1 pattern=$2
  shift 2
  journalctl -u tarnwick -o cat --since "$from" "$@" | grep -q -- "$pattern"
}
stamp() { date '+%Y-%m-%d %H:%M:%S'; }
# whole FILE [SKIP]: every line of FILE is a whole record (but line SKIP),
# and the file ends at the end of a line.
whole() {
  local bad
  bad=$(grep -nEv "$record" "$1" | cut -d: -f1 | grep -vx "${2:-0}" | head -3 | tr '\n' ' ')
  [ -z "$bad" ] || fail "$1: not a whole record at line(s) $bad: $(sed -n "${bad%% *}p" "$1" | cat -v)" ||
    return 1
  [ ! -s "$1" ] || [ "$(tail -c 1 "$1" | od -An -c | tr -d ' ')" = '\n' ] ||
    fail "$1 ends inside a line: $(tail -c 60 "$1" | cat -v)"
}
# restarted PID RESTARTS: running again with another main process, restarted
# once more than RESTARTS.
restarted() {
  running && [ "$(prop MainPID)" != "$1" ] && [ "$(prop NRestarts)" -eq $(($2 + 1)) ]
}

# --- checks ----------------------------------------------------------------

# Active after READY=1 (Type=notify), as the service's user, its log growing.
check_ready() {
  wait_until 30 "active (running) tarnwick" running || return 1
  [ "$(prop NRestarts)" = 0 ] || fail "restarted $(prop NRestarts) times already" || return 1
  local pid uid adapter
  pid=$(prop MainPID)
  uid=$(awk '/^Uid:/ { print $2 }' "/proc/$pid/status")
  [ "$uid" = "$(id -u tarnwick)" ] || fail "main process $pid runs as uid $uid" || return 1
  # Polling the adapter that /etc/default/tarnwick names.
  adapter=$(sed -n 's/^TARNWICK_ADAPTER=//p' /etc/default/tarnwick)
  journalctl -b -u tarnwick -o cat | grep -q "^Started: adapter $adapter, " ||
    fail "no 'Started: adapter $adapter' line in the journal" || return 1
  local before
  before=$(size "$log")
  wait_until 20 "growth of $log" grown "$log" "$before" || return 1
  whole "$log" || return 1
  note "pid $pid, user tarnwick, $log $(size "$log") bytes and growing"
}

# SIGKILL: failed, started again after RestartSec by Restart=on-failure. A
# record cut off by the kill (planted here, as a kill during a write or a
# power cut leaves one) stays alone on its line: the next record starts on a
# line of its own.
check_kill() {
  running || fail "not running before the kill" || return 1
  local pid restarts cut start at
  pid=$(prop MainPID)
  restarts=$(prop NRestarts)
  start=$(now)
  systemctl kill -s SIGKILL tarnwick
  wait_until 5 "auto-restart state" eval '[ "$(prop SubState)" = auto-restart ]' || return 1
  cut=$(tail -n 1 "$log" | head -c 17)
  printf '%s' "$cut" >>"$log"
  at=$(($(lines "$log") + 1))
  wait_until 30 "restart after the kill" restarted "$pid" "$restarts" || return 1
  note "restarted after $(since "$start")s as pid $(prop MainPID)"
  wait_until 20 "record after the restart" more_lines "$log" "$at" || return 1
  [ "$(sed -n "${at}p" "$log")" = "$cut"$'\r' ] ||
    fail "the cut record's line became: $(sed -n "${at}p" "$log" | cat -v)" || return 1
  whole "$log" "$at" || return 1
  note "the next record began line $((at + 1))"
}

# The adapter stopped for a while: a warning in the journal, and at warning
# priority nothing but warnings.
check_warnings() {
  local from warnings
  from=$(stamp)
  systemctl stop tarnwick-adapter
  wait_until 30 "'Adapter not answering' warning" \
    journal_has "$from" "^Adapter not answering" -p warning || { systemctl start tarnwick-adapter; return 1; }
  sleep 3
  systemctl start tarnwick-adapter
  wait_until 30 "'Adapter answering again'" journal_has "$from" "^Adapter answering again" || return 1
  warnings=$(journalctl -u tarnwick -o cat -p warning)
  if grep -E "^(Started: |Adapter answering again|Stopped \()" <<<"$warnings"; then
    fail "routine lines among the warnings"
    return 1
  fi
  journal_has "$from" "^Adapter answering again" -p info || fail "recovery not at info priority" || return 1
  note "$(grep -c '^Adapter not answering' <<<"$warnings") adapter warning(s): $(grep -m1 '^Adapter not answering' <<<"$warnings")"
}

# logrotate as cron would run it, forced: the log renamed, a new one written;
# after a second rotation the older is compressed, and the report reads the
# rotated logs together.
check_rotate() {
  local before report read_back records
  before=$(lines "$log")
  logrotate -f /etc/logrotate.conf || fail "logrotate failed" || return 1
  [ -f "$log.1" ] || fail "no $log.1 after rotation" || return 1
  [ "$(lines "$log.1")" -ge "$before" ] || fail "$log.1 has fewer lines than the log had" || return 1
  wait_until 20 "record in the new log" grown "$log" 0 || return 1
  [ "$(stat -c %U "$log")" = tarnwick ] || fail "new log owned by $(stat -c %U "$log")" || return 1
  logrotate -f /etc/logrotate.conf || fail "second logrotate failed" || return 1
  [ -f "$log.2.gz" ] || fail "no $log.2.gz after a second rotation: $(ls /var/lib/tarnwick)" || return 1
  gzip -t "$log.2.gz" || fail "$log.2.gz is not whole" || return 1
  wait_until 20 "record in the newest log" grown "$log" 0 || return 1
  whole "$log.1" || return 1
  # The report counts the readings of every record; the cut record planted
  # by the kill check is the one line that is not a record.
  records=$(($(zcat "$log.2.gz" | grep -cE "$record") + $(grep -cE "$record" "$log.1")))
  report=$(tarnwick-report --roster /etc/tarnwick/roster.conf "$log.2.gz" "$log.1" 2>&1) || true
  read_back=$(sed -n 's/^Records: \([0-9]*\).*/\1/p' <<<"$report")
  [ "$read_back" = "$records" ] ||
    fail "tarnwick-report read ${read_back:-no} records of $records: $report" || return 1
  note "rotated twice, tarnwick-report read the $records records of $log.2.gz and $log.1"
}

# The template unit's instances, started at boot beside the single service:
# each active as the service's user, polling the adapter of its own settings
# file, its log of whole records in its own folder (rotated by the same rule
# as the single service's in the check before), and its metrics on its own
# port labelled with its own adapter.
check_instances() {
  local name unit conf ilog adapter metrics before scrape
  for conf in /etc/tarnwick/*.conf; do
    name=$(basename "$conf" .conf)
    grep -q '^TARNWICK_ADAPTER=' "$conf" || continue
    unit=tarnwick@$name
    wait_until 30 "active (running) $unit" \
      eval "[ \"\$(prop ActiveState $unit)/\$(prop SubState $unit)\" = active/running ]" || return 1
    [ "$(prop User "$unit")" = tarnwick ] || fail "$unit runs as '$(prop User "$unit")'" || return 1
    adapter=$(sed -n 's/^TARNWICK_ADAPTER=//p' "$conf")
    journalctl -b -u "$unit" -o cat | grep -q "^Started: adapter $adapter, " ||
      fail "no 'Started: adapter $adapter' line from $unit" || return 1
    ilog=/var/lib/tarnwick/$name/tarnwick.log
    [ -s "$ilog.1" ] || fail "$ilog was not rotated with the single service's log" || return 1
    before=$(size "$ilog")
    wait_until 20 "growth of $ilog" grown "$ilog" "$before" || return 1
    whole "$ilog" && whole "$ilog.1" || return 1
    [ "$(stat -c %U "$ilog")" = tarnwick ] || fail "$ilog owned by $(stat -c %U "$ilog")" || return 1
    metrics=$(sed -n 's/^TARNWICK_METRICS=.*://p' "$conf")
    scrape=$(exec 3<>"/dev/tcp/127.0.0.1/$metrics" &&
      printf 'GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n' >&3 && cat <&3) ||
      fail "no answer on $unit's metrics port $metrics" || return 1
    grep -q "^tarnwick_sensor_temperature_celsius{.*adapter=\"$adapter\"" <<<"$scrape" ||
      fail "no temperature labelled adapter=\"$adapter\" on port $metrics: $(head -c 300 <<<"$scrape")" ||
      return 1
    grep -q "name=\"$name " <<<"$scrape" ||
      fail "the metrics on port $metrics do not carry $name's roster names" || return 1
    note "$unit: $(lines "$ilog") + $(lines "$ilog.1") records in /var/lib/tarnwick/$name, metrics on :$metrics"
  done
  [ -n "$detail" ] || fail "no instance configured in /etc/tarnwick" || return 1
  # The report reads both instances' logs (rotated ones too) with their own
  # rosters and keeps their sensors apart.
  local report
  report=$(tarnwick-report --instance cellar --instance attic 2>&1) ||
    fail "tarnwick-report --instance cellar --instance attic: $report" || return 1
  grep -qE '^ *cellar: 1 .* cellar Freezer' <<<"$report" && grep -qE '^ *attic: 1 .* attic Freezer' <<<"$report" ||
    fail "the report does not keep the instances apart: $report" || return 1
  note "tarnwick-report --instance cellar --instance attic: $(head -n 1 <<<"$report")"
}

# The single service and an instance of the template, rated by the booted
# system's own systemd.
check_security() {
  local unit out exposure
  for unit in tarnwick $(systemctl list-units --plain --no-legend 'tarnwick@*' | awk 'NR == 1 { print $1 }'); do
    out=$(systemd-analyze security --no-pager "$unit" 2>&1)
    exposure=$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p' <<<"$out")
    awk -v e="$exposure" 'BEGIN { exit !(e != "" && e <= 2.0) }' ||
      fail "$unit: exposure ${exposure:-unknown}: $(tail -n 3 <<<"$out")" || return 1
    note "$unit $exposure"
  done
}

# systemctl stop: SIGTERM, exit status 0, the log closed on a whole record.
check_stop() {
  local from
  from=$(stamp)
  running || fail "not running before the stop" || return 1
  systemctl stop tarnwick
  [ "$(prop ExecMainCode)/$(prop ExecMainStatus)/$(prop Result)" = 1/0/success ] ||
    fail "ended with code $(prop ExecMainCode) status $(prop ExecMainStatus), $(prop Result)" || return 1
  whole "$log" || return 1
  journal_has "$from" "^Stopped (SIGTERM), log closed" || fail "no 'Stopped (SIGTERM)' line" || return 1
  journal_has "$from" "^Stopped tarnwick.service" || fail "systemd did not log the stop" || return 1
  note "exit 0, $(lines "$log") whole records, 'Stopped (SIGTERM), log closed'"
}

# A second boot of the same root: enabled, the service comes back by itself
# and appends to the log the previous boot left.
check_back() {
  wait_until 30 "active (running) tarnwick" running || return 1
  local left size sum
  read -r size sum <"$state/log-at-end" || fail "no record of the previous boot's log" || return 1
  wait_until 20 "record after the reboot" grown "$log" "$size" || return 1
  left=$(head -c "$size" "$log" | sha256sum | cut -d' ' -f1)
  [ "$left" = "$sum" ] || fail "the previous boot's $size bytes changed" || return 1
  whole "$log" || return 1
  note "running again, pid $(prop MainPID); $log kept its $size bytes and grows"
}

# SIGSTOP: silent, the watchdog ends it after WatchdogSec, and it is started
# again after RestartSec.
check_watchdog() {
  local pid restarts watchdog restart start ended
  running || fail "not running before SIGSTOP" || return 1
  pid=$(prop MainPID)
  restarts=$(prop NRestarts)
  watchdog=$(seconds "$(prop WatchdogUSec)")
  restart=$(seconds "$(prop RestartUSec)")
  start=$(now)
  systemctl kill -s SIGSTOP tarnwick
  wait_until $((watchdog + 5)) "watchdog end (WatchdogSec ${watchdog}s)" \
    eval '[ "$(prop Result)" = watchdog ]' || { systemctl kill -s SIGCONT tarnwick; return 1; }
  ended=$(since "$start")
  wait_until $((restart + 10)) "restart after the watchdog" restarted "$pid" "$restarts" || return 1
  note "ended by the watchdog after ${ended}s (WatchdogSec ${watchdog}s), running again after $(since "$start")s"
}

# The adapter out of reach when the service starts (no network yet, the
# adapter still booting): the service runs all the same and says why, is not
# restarted over and over, and logs once the adapter answers.
check_late_adapter() {
  local from pid restarts
  systemctl stop tarnwick tarnwick-adapter
  from=$(stamp)
  systemctl start tarnwick
  wait_until 30 "active (running) tarnwick without its adapter" running ||
    { systemctl start tarnwick-adapter; return 1; }
  pid=$(prop MainPID)
  restarts=$(prop NRestarts)
  wait_until 30 "'Adapter not answering' warning" \
    journal_has "$from" "^Adapter not answering" -p warning || { systemctl start tarnwick-adapter; return 1; }
  sleep 10
  if [ "$(prop MainPID)" != "$pid" ] || [ "$(prop NRestarts)" != "$restarts" ] || ! running; then
    fail "not the same running process after 10 s without the adapter (pid $pid, now $(prop MainPID))"
    systemctl start tarnwick-adapter
    return 1
  fi
  systemctl start tarnwick-adapter
  wait_until 30 "'Adapter answering again'" journal_has "$from" "^Adapter answering again" || return 1
  local at
  at=$(size "$log")
  wait_until 20 "records once the adapter answers" grown "$log" "$at" || return 1
  whole "$log" || return 1
  local told
  told=$(journalctl -u tarnwick -o cat --since "$from" | grep -c "^Adapter not answering")
  [ "$told" = 1 ] || fail "$told 'Adapter not answering' lines" || return 1
  note "ran without its adapter (pid $pid, no restart): $(journalctl -u tarnwick -o cat --since "$from" | grep -m1 '^Adapter not answering'); logging once it answered"
}

# /var/lib/tarnwick on a small file system that fills up while the service
# logs: one status line, no half record; logging goes on once there is room.
check_disk_full() {
  local from ok=0 tarnwick_ids
  tarnwick_ids="uid=$(id -u tarnwick),gid=$(id -g tarnwick)"
  systemctl stop tarnwick
  mount -t tmpfs -o "size=64k,mode=0755,$tarnwick_ids" tarnwick-full /var/lib/tarnwick ||
    fail "cannot mount a small file system" || return 1
  systemctl start tarnwick
  disk_full_steps && ok=1
  systemctl stop tarnwick
  umount /var/lib/tarnwick
  systemctl start tarnwick
  [ "$ok" = 1 ]
}
disk_full_steps() {
  local from count before
  wait_until 30 "active (running) tarnwick on the small file system" running || return 1
  wait_until 20 "record on the small file system" grown "$log" 0 || return 1
  from=$(stamp)
  dd if=/dev/zero of=/var/lib/tarnwick/filler bs=1k 2>/dev/null
  # The log's last page may still take a few dozen records.
  wait_until 60 "'Log write failed' warning" journal_has "$from" "^Log write failed" -p warning || return 1
  before=$(size "$log")
  sleep 5
  count=$(journalctl -u tarnwick -o cat --since "$from" | grep -c "^Log write failed")
  [ "$count" = 1 ] || fail "$count 'Log write failed' lines" || return 1
  whole "$log" || return 1
  [ "$(size "$log")" = "$before" ] || fail "the log changed while the disk was full" || return 1
  rm /var/lib/tarnwick/filler
  wait_until 30 "'Log written again'" journal_has "$from" "^Log written again" || return 1
  wait_until 20 "growth once there is room" grown "$log" "$before" || return 1
  whole "$log" || return 1
  note "$(journalctl -u tarnwick -o cat --since "$from" | grep -m1 '^Log write failed'), log whole at $before bytes, growing again"
}

# --- runner ----------------------------------------------------------------

# Sourced (by tests/scripts/BootChecksTest.sh), it only defines the above.
main() {
  local boot name start verdict line kept
  mkdir -p "$state"
  boot=$(($(cat "$state/boots" 2>/dev/null || echo 0) + 1))
  echo "$boot" >"$state/boots"
  echo "started $boot" >>"$results"
  for name in $(sed -n "${boot}p" /etc/tarnwick-boot/plan); do
    detail=
    start=$(now)
    if declare -F "check_$name" >/dev/null && "check_$name"; then
      verdict=PASS
    else
      declare -F "check_$name" >/dev/null || note "no such check"
      verdict=FAIL
    fi
    line="$verdict $boot $name $(since "$start")s $detail"
    echo "$line" >>"$results"
    echo "tarnwick-boot: $line"
    if [ "$verdict" = FAIL ]; then
      journalctl -u tarnwick -u tarnwick-adapter --since "@${start%.*}" -n 20 -o short-monotonic --no-hostname |
        sed 's/^/  | /' >>"$results"
    fi
  done
  # What the next boot's checks compare with.
  sync
  kept=$(size "$log")
  echo "$kept $(head -c "$kept" "$log" | sha256sum | cut -d' ' -f1)" >"$state/log-at-end"
  echo "done $boot" >>"$results"
  sync
}
[ "${BASH_SOURCE[0]}" != "$0" ] || main
