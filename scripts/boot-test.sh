#!/usr/bin/env bash
# The Debian package's service under a real init: the package is installed
# with apt into a copy of today's Debian 12 root (scripts/debian-root.sh), as
# on a user's machine, configured to poll the package's simulator
# (tarnwick-adapter.service, a unit of its own, in the container) and
# enabled; then the root is booted with systemd as PID 1 by systemd-nspawn,
# twice, each boot with a private network (loopback only). In each boot a
# oneshot unit runs the checks that boot-checks.sh names for it, writes their
# outcomes into the root and powers the container off; this script prints
# one line per check and fails when any check failed, a boot did not finish
# its checks or the container could not start. A boot that takes longer than
# TARNWICK_BOOT_LIMIT seconds (110) is killed.
#
# Usage, as root:  scripts/boot-test.sh [PACKAGE.deb]
# Without a package, scripts/package.sh builds one (reusing build-package/).
# TARNWICK_BOOT_KEEP=1 keeps the work folder (the root, the consoles).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/root-lib.sh

# The checks of each boot, in order (functions check_NAME in boot-checks.sh).
boots=(
  "ready kill warnings rotate instances security stop"
  "back instances watchdog disk_full late_adapter"
)
port=18642
# Two instances of the template unit beside the single service, each with an
# adapter (a simulator of its own) and a metrics port: NAME:ADAPTER:METRICS.
instances=("cellar:18643:19101" "attic:18644:19102")
limit=${TARNWICK_BOOT_LIMIT:-110}

[ "$(id -u)" -eq 0 ] || { echo "boot-test.sh: needs root" >&2; exit 2; }
began=$SECONDS
step() { echo "boot test: $1: $(($2)) s"; }

deb=${1:-}
if [ -z "$deb" ]; then
  mark=$SECONDS
  deb=$(scripts/package.sh | tail -n 1)
  step "package" "SECONDS - mark"
fi
[ -f "$deb" ] || { echo "boot-test.sh: no package $deb" >&2; exit 2; }
if ! command -v systemd-nspawn >/dev/null; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends systemd-container >/dev/null
fi

mark=$SECONDS
base=$(scripts/debian-root.sh)
step "root ($base)" "SECONDS - mark"

work=$(mktemp -d /var/tmp/tarnwick-boot.XXXXXX)
root=$work/root

# The container: systemd-nspawn's process, and its children (the container's
# init, whose end ends every process of the container).
container=
children() { ps -o pid= --ppid "$1" 2>/dev/null | tr -d ' ' || true; }
stop_container() {
  local pid
  for pid in $(children "$container"); do kill -KILL "$pid" 2>/dev/null || true; done
  kill -KILL "$container" 2>/dev/null || true
  wait "$container" 2>/dev/null || true
}
cleanup() {
  local status=$?
  if [ -n "$container" ]; then
    kill -TERM "$container" 2>/dev/null || true
    sleep 2
    stop_container
  fi
  root_unmount "$root"
  if [ -n "$container" ] && kill -0 "$container" 2>/dev/null; then
    echo "boot test: systemd-nspawn ($container) still running" >&2
    status=1
  fi
  if findmnt -rn -o TARGET | grep -q "^$work"; then
    echo "boot test: mounts left below $work" >&2
    status=1
  fi
  if [ "${TARNWICK_BOOT_KEEP:-0}" = 1 ]; then echo "boot test: kept $work"; else rm -rf "$work"; fi
  exit "$status"
}
trap cleanup EXIT

# The package installed with apt from today's archive, as a user installs it;
# its dependencies come the same way.
mark=$SECONDS
root_copy "$base" "$root"
cp "$deb" "$root/tmp/tarnwick.deb"
root_mount "$root"
if ! root_run "$root" "apt-get update -qq &&
    apt-get install -y -qq --no-install-recommends /tmp/tarnwick.deb && apt-get autoclean -qq" \
    >"$work/apt.log" 2>&1; then
  tail -20 "$work/apt.log" >&2
  echo "boot test: the package did not install" >&2
  exit 1
fi
root_unmount "$root"
rm "$root/tmp/tarnwick.deb"
step "install" "SECONDS - mark"

# Configured as the README says: the adapter and the roster in
# /etc/default/tarnwick, the service enabled. The simulator is the adapter.
mkdir -p "$root/etc/tarnwick" "$root/etc/tarnwick-boot" "$root/usr/local/lib/tarnwick-boot"
cp data/roster.conf "$root/etc/tarnwick/roster.conf"
cat >>"$root/etc/default/tarnwick" <<EOF
TARNWICK_ADAPTER=127.0.0.1:$port
TARNWICK_ROSTER=/etc/tarnwick/roster.conf
EOF
# adapter_unit UNIT PORT ROSTER BEFORE: a simulator as the adapter at PORT.
adapter_unit() {
  cat >"$root/etc/systemd/system/$1.service" <<EOF
[Unit]
Description=Simulated 1-Wire adapter for the boot test ($1)
Before=$4

[Service]
DynamicUser=yes
# Conversions of 50 ms rather than 750: a pass in well under a second.
ExecStart=/usr/bin/tarnwick-simadapter --port $2 --roster $3 --conversion-ms 50
# Started once it answers.
ExecStartPost=/bin/bash -c 'until (exec 3<>/dev/tcp/127.0.0.1/$2) 2>/dev/null; do sleep 0.1; done'

[Install]
WantedBy=multi-user.target
EOF
}
adapter_unit tarnwick-adapter "$port" /etc/tarnwick/roster.conf tarnwick.service
enabled=(tarnwick tarnwick-adapter tarnwick-boot-check)
# Each instance as the README's "Several adapters" sets one up: its settings
# in /etc/tarnwick/NAME.conf, its own roster (the same sensors, named after
# the instance), its adapter and its metrics port.
for instance in "${instances[@]}"; do
  IFS=: read -r name adapter metrics <<<"$instance"
  sed -E "s/^([0-9A-Fa-f]{16}), *([^,]*)/\\1, $name \\2/" data/roster.conf \
    >"$root/etc/tarnwick/$name-roster.conf"
  cat >"$root/etc/tarnwick/$name.conf" <<EOF
TARNWICK_ADAPTER=127.0.0.1:$adapter
TARNWICK_ROSTER=/etc/tarnwick/$name-roster.conf
TARNWICK_METRICS=127.0.0.1:$metrics
EOF
  adapter_unit "tarnwick-adapter-$name" "$adapter" "/etc/tarnwick/$name-roster.conf" \
    "tarnwick@$name.service"
  enabled+=("tarnwick@$name" "tarnwick-adapter-$name")
done
cat >"$root/etc/systemd/system/tarnwick-boot-check.service" <<EOF
[Unit]
Description=Tarnwick boot test checks
After=tarnwick.service tarnwick-adapter.service tarnwick@cellar.service tarnwick@attic.service
SuccessAction=poweroff
FailureAction=poweroff

[Service]
Type=oneshot
ExecStart=/usr/local/lib/tarnwick-boot/boot-checks.sh
StandardOutput=journal
TimeoutStartSec=$((limit - 15))

[Install]
WantedBy=multi-user.target
EOF
cp scripts/boot-checks.sh "$root/usr/local/lib/tarnwick-boot/boot-checks.sh"
printf '%s\n' "${boots[@]}" >"$root/etc/tarnwick-boot/plan"
chroot "$root" systemctl enable --quiet "${enabled[@]}"
results=$root/var/lib/tarnwick-boot/results

# systemd-nspawn, in a mount namespace of its own, where:
# - /run/systemd/nspawn is a tmpfs: systemd-nspawn keeps its state there and,
#   on a machine without systemd, where /run is no tmpfs, refuses to clean it
#   up;
# - /sys/fs/cgroup holds the kernel's control group hierarchies, which
#   systemd-nspawn needs, mounted as the machine has them (the unified one
#   alone, or the named and controller ones beside it) where nothing is
#   mounted there: in a chroot that was given /sys without what is mounted
#   below it.
in_namespace() {
  set -e
  mount -t tmpfs -o mode=0755 tarnwick-nspawn /run/systemd/nspawn
  if ! mountpoint -q /sys/fs/cgroup; then
    if [ "$(cut -d: -f1 /proc/self/cgroup)" = 0 ]; then
      mount -t cgroup2 cgroup2 /sys/fs/cgroup
    else
      mount -t tmpfs -o mode=0755 cgroup /sys/fs/cgroup
      local id controllers rest dir
      while IFS=: read -r id controllers rest; do
        if [ "$id" = 0 ]; then
          mkdir -p /sys/fs/cgroup/unified
          mount -t cgroup2 cgroup2 /sys/fs/cgroup/unified
        else
          dir=${controllers#name=}
          mkdir -p "/sys/fs/cgroup/$dir"
          mount -t cgroup -o "${controllers/#name=/none,name=}" cgroup "/sys/fs/cgroup/$dir"
        fi
      done </proc/self/cgroup
    fi
  fi
  exec systemd-nspawn --boot --console=pipe --register=no --keep-unit --private-network \
    --machine="$1" -D "$2"
}

failed=0
# A machine that has never run systemd (a bare chroot, a container) may not
# even have the folder to mount it on.
mkdir -p /run/systemd/nspawn
for ((n = 1; n <= ${#boots[@]}; n++)); do
  mark=$SECONDS
  # In a mount namespace of its own (see in_namespace).
  unshare --mount --propagation private bash -c "$(declare -f in_namespace); in_namespace \"\$@\"" \
    _ "tarnwick-boot-$n" "$root" >"$work/console-$n.log" 2>&1 </dev/null &
  container=$!
  # Ended at the limit: told to power off (SIGTERM), then killed.
  nspawn=
  while [ -z "$nspawn" ]; do
    if ! kill -0 "$container" 2>/dev/null; then
      nspawn=0
      wait "$container" || nspawn=$?
    elif [ $((SECONDS - mark)) -ge "$limit" ]; then
      kill -TERM "$container" 2>/dev/null || true
      for _ in $(seq 20); do kill -0 "$container" 2>/dev/null && sleep 0.5; done
      stop_container
      nspawn=timeout
    else
      sleep 0.5
    fi
  done
  container=
  step "boot $n" "SECONDS - mark"
  [ -f "$results" ] && grep -E "^(PASS|FAIL) $n " "$results" | sed 's/^/  /' || true
  [ -f "$results" ] && grep -A 16 -E "^FAIL $n " "$results" | grep '^  |' || true
  if [ -f "$results" ] && grep -qx "done $n" "$results"; then
    grep -q "^FAIL $n " "$results" && failed=1
    continue
  fi
  failed=1
  if [ "$nspawn" = timeout ]; then
    echo "boot test: boot $n did not end within ${limit}s and was killed" >&2
  elif ! { [ -f "$results" ] && grep -qx "started $n" "$results"; }; then
    echo "boot test: the container did not start on this machine (systemd-nspawn exit $nspawn)" >&2
  else
    echo "boot test: boot $n ended before its checks were done (systemd-nspawn exit $nspawn)" >&2
  fi
  tail -30 "$work/console-$n.log" | sed 's/^/  systemd-nspawn: /' >&2
  journalctl -D "$root/var/log/journal" -n 40 --no-pager -o short-monotonic 2>/dev/null |
    sed 's/^/  journal: /' >&2 || true
  break
done
step "whole" "SECONDS - began"
if [ "$failed" -ne 0 ]; then
  echo "boot test: FAILED" >&2
  exit 1
fi
echo "boot test: $(grep -c '^PASS' "$results") checks passed in ${#boots[@]} boots"
