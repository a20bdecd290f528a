#!/usr/bin/env bash
# Prints the path of a Debian 12 root bootstrapped today (debootstrap
# --variant=minbase bookworm, from this machine's Debian mirror), with what the
# fresh-root test and the boot test need on top: git and the CA certificates
# to clone and fetch, systemd as init with D-Bus, logrotate, apt. The root is
# cached under /var/cache/tarnwick (TARNWICK_ROOT_CACHE), one per day, so a new
# day gets the point release of that day; older ones are removed. Nothing runs
# in the cached root: callers copy it (see copy_root in root-lib.sh).
# Needs root. Progress goes to standard error, the path alone to standard out.
set -euo pipefail

cache=${TARNWICK_ROOT_CACHE:-/var/cache/tarnwick}
day=$(date -u +%Y-%m-%d)
root=$cache/bookworm-$day
packages=git,ca-certificates,systemd,systemd-sysv,dbus,logrotate,apt

[ "$(id -u)" -eq 0 ] || { echo "debian-root.sh: needs root" >&2; exit 2; }

if [ ! -e "$root/.complete" ]; then
  if ! command -v debootstrap >/dev/null; then
    echo "Installing debootstrap" >&2
    apt-get update -qq >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >&2
  fi
  sources=/etc/apt/sources.list.d/debian.sources
  mirror=$(sed -n 's/^URIs: *//p' "$sources" 2>/dev/null | head -n 1)
  mirror=${mirror:-http://deb.debian.org/debian}
  mkdir -p "$cache"
  work=$(mktemp -d "$cache/.new-XXXXXX")
  trap 'rm -rf "$work"' EXIT
  echo "Bootstrapping Debian 12 from $mirror into $root" >&2
  started=$SECONDS
  if ! debootstrap --variant=minbase --include="$packages" bookworm "$work/root" "$mirror" \
      >"$work/debootstrap.log" 2>&1; then
    tail -20 "$work/debootstrap.log" >&2
    [ -f "$work/root/debootstrap/debootstrap.log" ] && tail -20 "$work/root/debootstrap/debootstrap.log" >&2
    echo "debian-root.sh: debootstrap failed" >&2
    exit 1
  fi
  # The same sources as this machine (the updates and the security
  # archive too), so that apt installs today's packages.
  if [ -f "$sources" ]; then
    cp "$sources" "$work/root/etc/apt/sources.list.d/debian.sources"
    rm -f "$work/root/etc/apt/sources.list"
  fi
  # Packages downloaded later in copies of this root stay there (apt's
  # default in a container image is to delete them, which is what we want).
  rm -rf "$work/root/var/cache/apt/archives/"*.deb
  echo "bootstrap: $((SECONDS - started)) s" >&2
  rm -rf "$root"
  mv "$work/root" "$root"
  touch "$root/.complete"
  rm -rf "$work"
  trap - EXIT
fi

# What the installer writes and debootstrap does not: the machine's name, and
# localhost by name, to 127.0.0.1 and to ::1 (tests that reach a server at
# "localhost" meet both, as on an installed machine).
[ -s "$root/etc/hostname" ] || echo tarnwick-test >"$root/etc/hostname"
[ -s "$root/etc/hosts" ] || printf '%s\n' "127.0.0.1	localhost" "127.0.1.1	tarnwick-test" "" \
  "# The following lines are desirable for IPv6 capable hosts" \
  "::1     localhost ip6-localhost ip6-loopback" "ff02::1 ip6-allnodes" "ff02::2 ip6-allrouters" \
  >"$root/etc/hosts"

# Only the newest root is kept.
for old in "$cache"/bookworm-*; do
  [ "$old" = "$root" ] || [ ! -d "$old" ] || rm -rf "$old"
done
echo "$root"
