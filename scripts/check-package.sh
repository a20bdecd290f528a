#!/usr/bin/env bash
# Checks the service files of a built Debian package as they would be
# installed, without installing anything on this system: the package is
# unpacked into a scratch root beside this system's systemd units, and
#   - systemd-analyze verifies tarnwick.service and an instance of the
#     template tarnwick@.service (their program and manual page taken from
#     the package),
#   - the systemd-analyze security exposure of each is at most 2.0,
#   - both are installed disabled,
#   - the service's user comes from the package's sysusers file,
#   - /etc/default/tarnwick sets nothing (every setting a comment) and names
#     each variable the programs read,
#   - logrotate -d accepts /etc/logrotate.d/tarnwick, with the service's user
#     known in a private mount namespace only, and its rule covers the
#     single service's log and an instance's.
# Needs root (for the namespace) and systemd's tools.
set -euo pipefail
deb=${1:?usage: check-package.sh PACKAGE.deb}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
unit=$root/lib/systemd/system/tarnwick.service

# The units tarnwick.service refers to, and kill for ExecReload.
cp -an /lib/systemd/system/. "$root/lib/systemd/system/"
mkdir -p "$root/bin" && cp /bin/kill "$root/bin/"
[ -f "$root/lib/systemd/system/tarnwick@.service" ] ||
  { echo "no tarnwick@.service in the package" >&2; exit 1; }
# An instance is verified and rated through the template.
instance=$root/lib/systemd/system/tarnwick@cellar.service
grep -q '^EnvironmentFile=-/etc/tarnwick/%i.conf$' "$root/lib/systemd/system/tarnwick@.service" &&
  grep -q '^StateDirectory=tarnwick/%i$' "$root/lib/systemd/system/tarnwick@.service" ||
  { echo "tarnwick@.service: not /etc/tarnwick/%i.conf and /var/lib/tarnwick/%i" >&2; exit 1; }
for checked in "$unit" "$instance"; do
  name=$(basename "$checked")
  MANPATH=$root/usr/share/man systemd-analyze --root="$root" verify "$checked"
  exposure=$(systemd-analyze security --offline=yes --root="$root" "$checked" 2>/dev/null |
    sed -n "s/.*Overall exposure level for $name: \([0-9.]*\).*/\1/p")
  echo "$name: exposure $exposure"
  awk -v e="$exposure" 'BEGIN { exit !(e != "" && e <= 2.0) }' ||
    { echo "$name: exposure above 2.0" >&2; exit 1; }
done

for name in tarnwick.service tarnwick@.service; do
  state=$(systemctl --root="$root" is-enabled "$name" || true)
  [ "$state" = disabled ] || { echo "$name is $state, not disabled" >&2; exit 1; }
done

systemd-sysusers --root="$root" "$root/usr/lib/sysusers.d/tarnwick.conf" 2>/dev/null
grep -q '^tarnwick:x:[0-9]*:[0-9]*:.*:/var/lib/tarnwick:' "$root/etc/passwd" ||
  { echo "no tarnwick user from the sysusers file" >&2; exit 1; }

defaults=$root/etc/default/tarnwick
if grep -v '^[[:space:]]*\(#\|$\)' "$defaults"; then
  echo "/etc/default/tarnwick sets the lines above; it should only show them" >&2
  exit 1
fi
for variable in TARNWICK_ADAPTER TARNWICK_ROSTER TARNWICK_LOG TARNWICK_SYNC_INTERVAL TARNWICK_MQTT \
    TARNWICK_MQTT_OPTIONS TARNWICK_ADAPTER_ALARM TARNWICK_ALARM_COMMAND TARNWICK_METRICS; do
  grep -q "^#$variable=" "$defaults" || { echo "/etc/default/tarnwick: no $variable" >&2; exit 1; }
done

cat /etc/passwd "$root/etc/passwd" >"$root/passwd"
cat /etc/group "$root/etc/group" >"$root/group"
unshare --mount bash -c '
  mount --bind "$1/passwd" /etc/passwd && mount --bind "$1/group" /etc/group &&
  logrotate -d -s "$1/logrotate.state" "$1/etc/logrotate.d/tarnwick" 2>"$1/logrotate.out" ||
    { cat "$1/logrotate.out" >&2; exit 1; }
  ! grep -i "error" "$1/logrotate.out" >&2' _ "$root"
# The rule names the single service's log and every instance's.
grep -q '^/var/lib/tarnwick/\*\.log /var/lib/tarnwick/\*/\*\.log {$' "$root/etc/logrotate.d/tarnwick" ||
  { echo "/etc/logrotate.d/tarnwick does not cover the instances' logs" >&2; exit 1; }
echo "$deb: service files checked"
