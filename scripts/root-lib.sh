# Shell functions for working in a copy of the root that debian-root.sh
# makes: sourced by fresh-root-test.sh and boot-test.sh (bash, as root).

# root_copy BASE DEST: DEST becomes a copy of the root BASE (shared blocks
# where the file system can).
root_copy() {
  mkdir -p "$2"
  cp -a --reflink=auto "$1/." "$2/"
}

# root_mount ROOT: ROOT made ready for chroot: a mount point of its own (as /
# is on a real machine), this machine's /proc, /sys and /dev, its resolver
# configuration, and apt's downloaded packages kept in the cache beside the
# roots (apt still fetches today's versions; a package it already has is not
# downloaded again). Every mount is a slave, so nothing propagates back.
root_mount() {
  local root=$1 archives=${TARNWICK_ROOT_CACHE:-/var/cache/tarnwick}/apt-archives
  mount --bind "$root" "$root"
  mount --make-rslave "$root"
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys"
  mount --make-rslave "$root/sys"
  mount --rbind /dev "$root/dev"
  mount --make-rslave "$root/dev"
  mkdir -p "$archives/partial"
  mount --bind "$archives" "$root/var/cache/apt/archives"
  cp -L /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
}

# root_unmount ROOT: every mount below ROOT and ROOT itself, innermost
# first; quiet when there are none.
root_unmount() {
  local root=$1 target
  while read -r target; do
    umount -l "$target" 2>/dev/null || true
  done < <(findmnt -rn -o TARGET | awk -v r="$root" '$0 == r || index($0, r "/") == 1' | sort -r)
}

# root_run ROOT COMMAND: COMMAND run by bash in ROOT with a clean
# environment.
root_run() {
  chroot "$1" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive ${CI:+CI=$CI} /bin/bash -c "$2" </dev/null
}
