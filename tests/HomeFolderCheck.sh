#!/usr/bin/env bash
# The suite runs with HOME and the XDG folders in a scratch home under the
# build tree; this makes sure it stays there.
#   HomeFolderCheck.sh record SCRATCH   empties SCRATCH's home, records the real home's state
#   HomeFolderCheck.sh compare SCRATCH  fails, naming what changed, if the real home differs
# It runs with the caller's real HOME. What it records is only what the suite's
# own programs could write there through HOME: Tarnwick's configuration (its
# settings and roster), data and cache folders and Qt's file-dialog settings.
# Other programs on the machine (the compiler's cache, the desktop) may write
# elsewhere in the home meanwhile without failing the check. Sizes, times and
# modes, so a rewrite shows too.
set -euo pipefail
mode=$1 scratch=$2
state=$scratch/real-home.state

snapshot() {
  local places=() p
  for p in .config/Tarnwick .config/Tarnwick.conf .config/QtProject.conf .config/QtProject \
           .local/share/Tarnwick .local/state/Tarnwick .cache/Tarnwick; do
    [ -e "$HOME/$p" ] && places+=("$HOME/$p")
  done
  [ ${#places[@]} -eq 0 ] && return 0
  find "${places[@]}" -printf '%p %s %T@ %m\n' | LC_ALL=C sort
}

case $mode in
  record)
    rm -rf "$scratch/home"
    mkdir -p "$scratch/home/.config" "$scratch/home/.cache" "$scratch/home/.local/share" "$scratch/runtime"
    chmod 0700 "$scratch/runtime"
    snapshot >"$state"
    ;;
  compare)
    if ! changes=$(snapshot | diff "$state" -); then
      echo "The real home folder $HOME changed while the suite ran ('<' before, '>' after):" >&2
      echo "$changes" >&2
      echo "A test reached past its scratch home, unless another program wrote there meanwhile." >&2
      exit 1
    fi
    ;;
  *)
    echo "usage: $0 record|compare SCRATCH" >&2
    exit 2
    ;;
esac
