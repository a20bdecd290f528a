#!/usr/bin/env bash
# The README's test command (scripts/test.sh) on a new Debian 12 machine: in
# a throw-away copy of today's bootstrapped root (scripts/debian-root.sh), a
# clean clone of this checkout's HEAD installs what it needs from today's
# packages, builds and runs the whole suite. A machine set up earlier keeps
# older packages; this one has only what install-deps.sh brings.
#
# The clone sits at the same path as this checkout and uses this machine's
# ccache: a compilation whose compiler and headers are the same as here is
# taken from the cache, anything that differs is compiled anew. Prints the
# time of each step. Extra arguments go to ctest. Needs root.
set -euo pipefail
cd "$(dirname "$0")/.."
checkout=$(pwd -P)
. scripts/root-lib.sh

[ "$(id -u)" -eq 0 ] || { echo "fresh-root-test.sh: needs root" >&2; exit 2; }

step() { echo "fresh root: $1: $(($2)) s"; }

began=$SECONDS
base=$(scripts/debian-root.sh)
step "root ($base)" "SECONDS - began"

mark=$SECONDS
work=$(mktemp -d /var/tmp/tarnwick-fresh.XXXXXX)
root=$work/root
cleanup() {
  root_unmount "$root"
  rm -rf "$work"
}
trap cleanup EXIT
root_copy "$base" "$root"
git clone -q --no-local "$checkout" "$root$checkout"
ccache_dir=$(command -v ccache >/dev/null && ccache -k cache_dir || true)
if [ -n "$ccache_dir" ]; then
  mkdir -p "$ccache_dir" "$root/root/.cache/ccache"
fi
root_mount "$root"
[ -z "$ccache_dir" ] || mount --bind "$ccache_dir" "$root/root/.cache/ccache"
step "copy and clone" "SECONDS - mark"

mark=$SECONDS
root_run "$root" "cd '$checkout' && scripts/install-deps.sh >/dev/null && apt-get autoclean -qq"
step "packages" "SECONDS - mark"

# scripts/test.sh as the README gives it (its own install-deps.sh finds
# everything there now); the build and the tests are timed apart by the line
# with which ctest begins.
mark=$SECONDS
tests= status=
quoted=
[ $# -eq 0 ] || quoted=$(printf ' %q' "$@")
while IFS= read -r line; do
  case $line in
    "Test project "*) [ -n "$tests" ] || { tests=$SECONDS; step "build" "tests - mark"; } ;;
    "test.sh: exit "*) status=${line#test.sh: exit } && continue ;;
  esac
  printf '%s\n' "$line"
done < <(root_run "$root" "cd '$checkout' && scripts/test.sh$quoted 2>&1; echo \"test.sh: exit \$?\"")
[ -n "$tests" ] && step "tests" "SECONDS - tests"
step "whole" "SECONDS - began"
[ "${status:-1}" -eq 0 ] || { echo "fresh root: scripts/test.sh failed (${status:-no status})" >&2; exit 1; }
