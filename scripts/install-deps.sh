#!/usr/bin/env bash
# Installs the Debian 12 packages that Tarnwick needs, and only those that are
# missing. Uses sudo when not run as root. What is installed depends on what
# for, named by the arguments (default: test):
#   run      building the programs and running them (the demo)
#   test     the above and the test suite (a broker, GoogleTest, fonts)
#   package  the above and what builds and checks the Debian package
#   ci       all of the above and what CI adds: clang for the sanitizers and
#            the fuzzers, clang-format, lintian, the AppStream and desktop
#            checks
set -euo pipefail

run=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-qpa-plugins libgl-dev
  qt6-charts-dev libqt6opengl6-dev qt6-svg-dev
  libgumbo-dev libxml2-dev libcpp-httplib-dev libcurl4-openssl-dev zlib1g-dev libsystemd-dev
  libmosquitto-dev libssl-dev prometheus-cpp-dev fonts-dejavu-core procps
)
test=(libgtest-dev libgmock-dev mosquitto mosquitto-clients prometheus openssl curl xvfb xauth dbus-daemon)
package=(dpkg-dev file systemd logrotate man-db desktop-file-utils appstream)
ci=(clang-14 libclang-rt-14-dev clang-format lintian)

packages=()
for what in "${@:-test}"; do
  case $what in
    run) packages+=("${run[@]}") ;;
    test) packages+=("${run[@]}" "${test[@]}") ;;
    package) packages+=("${run[@]}" "${package[@]}") ;;
    ci) packages+=("${run[@]}" "${test[@]}" "${package[@]}" "${ci[@]}") ;;
    *) echo "install-deps.sh: what for? run, test, package or ci, not '$what'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
