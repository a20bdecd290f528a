#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running Tarnwick
# need, and only those that are missing. Uses sudo when not run as root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-qpa-plugins libgl-dev
  qt6-charts-dev libqt6opengl6-dev qt6-svg-dev
  libgumbo-dev libcpp-httplib-dev libcurl4-openssl-dev zlib1g-dev libsystemd-dev
  libmosquitto-dev mosquitto mosquitto-clients openssl
  libgtest-dev libgmock-dev
  clang-14 libclang-rt-14-dev
  fonts-dejavu-core clang-format curl procps xvfb xauth ccache
  desktop-file-utils appstream man-db dpkg-dev file systemd logrotate lintian
)

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
