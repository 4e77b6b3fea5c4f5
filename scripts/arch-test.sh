#!/bin/sh
# SPDX-License-Identifier: LGPL-2.1-or-later
# Builds the tree and runs the whole test suite in a Debian 12 chroot of another
# architecture, with a clean environment (no LANG, nothing of the caller's).
#   scripts/arch-test.sh ARCH [--sanitize] [-- CTEST ARGUMENTS...]
#   (VELMORA_BUILD_TARGETS is handed to test.sh: the targets to build, when not all)
# ARCH is i386 (runs natively), armhf or armel (the handheld's ABI; both run through
# qemu-user and binfmt_misc). CTest arguments (-R, -L, -E ...) select tests.
# Needs root and Debian's archive. The chroot, with the build dependencies and a
# compiler cache, is kept in $VELMORA_ARCH_CACHE (default /var/cache/velmora-arch)
# and reused; `rm -rf` of that directory forgets it.
# Everything that touches the chroot runs in a private mount and PID namespace, so
# no mount and no process outlives the run; the binfmt_misc mount and the qemu-arm
# entry it makes on the host are undone on exit, also when interrupted.
set -eu

MIRROR=${VELMORA_DEBIAN_MIRROR:-http://deb.debian.org/debian}
SUITE=bookworm
CACHE=${VELMORA_ARCH_CACHE:-/var/cache/velmora-arch}
SRC_IN_CHROOT=/build/velmora
BINFMT=/proc/sys/fs/binfmt_misc

usage() {
  echo "usage: $0 i386|armhf|armel [--sanitize] [-- CTEST ARGUMENTS...]" >&2
  exit 2
}

# --- Inside the private namespaces -------------------------------------------------

# Runs a command in the chroot with the architecture's personality.
in_chroot() {
  if [ "$ARCH" = i386 ]; then
    linux32 chroot "$ROOT" "$@"
  else
    chroot "$ROOT" "$@"
  fi
}

mount_chroot() {
  mount -t proc proc "$ROOT/proc"
  mount --bind /dev "$ROOT/dev"
  mount --bind /dev/pts "$ROOT/dev/pts"
  mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$ROOT/dev/shm"
}

# The namespace takes its mounts with it when it ends; unmounting here as well keeps
# the chroot directory free of them for the rest of this process's life.
unmount_chroot() {
  for m in dev/shm dev/pts dev proc; do
    if mountpoint -q "$ROOT/$m"; then umount -l "$ROOT/$m"; fi
  done
}

# debootstrap into a scratch directory, renamed only once it is complete.
bootstrap() {
  new="$ROOT.new"
  rm -rf --one-file-system "$new"
  if [ "$ARCH" = i386 ]; then
    linux32 debootstrap --arch=i386 --variant=minbase "$SUITE" "$new" "$MIRROR"
  else
    debootstrap --arch="$ARCH" --variant=minbase --foreign "$SUITE" "$new" "$MIRROR"
    cp /usr/bin/qemu-arm-static "$new/usr/bin/"
    chroot "$new" /debootstrap/debootstrap --second-stage
  fi
  # No service starts when a package is installed.
  printf '#!/bin/sh\nexit 101\n' >"$new/usr/sbin/policy-rc.d"
  chmod 755 "$new/usr/sbin/policy-rc.d"
  cat >"$new/etc/apt/sources.list" <<EOF
deb $MIRROR $SUITE main
deb $MIRROR $SUITE-updates main
deb http://deb.debian.org/debian-security $SUITE-security main
EOF
  mv "$new" "$ROOT"
}

# The build dependencies (the tree's own list) and the compiler cache.
install_deps() {
  cp "$SRC/scripts/install-deps.sh" "$ROOT/tmp/install-deps.sh"
  in_chroot /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    DEBIAN_FRONTEND=noninteractive /bin/sh /tmp/install-deps.sh ccache
  rm -f "$ROOT/tmp/install-deps.sh"
  in_chroot apt-get clean
  touch "$ROOT/etc/velmora-build-deps"
}

# The git-tracked files of the checkout, as they are in the working tree.
copy_checkout() {
  rm -rf --one-file-system "$ROOT$SRC_IN_CHROOT"
  mkdir -p "$ROOT$SRC_IN_CHROOT"
  git -C "$SRC" ls-files -z | (cd "$SRC" && tar --null -T - --ignore-failed-read -cf -) |
    tar -C "$ROOT$SRC_IN_CHROOT" -xf -
}

run_suite() {
  in_chroot /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    CCACHE_DIR=/var/cache/ccache CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache \
    VELMORA_BUILD_TARGETS="${VELMORA_BUILD_TARGETS:-}" \
    /bin/sh -c 'cd "$0" && exec ./scripts/test.sh "$@"' "$SRC_IN_CHROOT" "$@"
}

inner() {
  ROOT="$CACHE/$SUITE-$ARCH"
  trap unmount_chroot EXIT
  if [ ! -d "$ROOT" ]; then
    echo "arch-test: making the $ARCH chroot in $ROOT"
    bootstrap
  fi
  mount_chroot
  # test.sh installs packages the tree has come to need since the chroot was made.
  cp /etc/resolv.conf "$ROOT/etc/resolv.conf"
  if [ ! -e "$ROOT/etc/velmora-build-deps" ]; then
    echo "arch-test: installing the build dependencies in the $ARCH chroot"
    install_deps
  fi
  copy_checkout
  run_suite "$@"
}

# --- On the host ---------------------------------------------------------------------

ensure_host_packages() {
  missing=""
  for p in debootstrap qemu-user-static binfmt-support; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing="$missing $p"
    fi
  done
  if [ -n "$missing" ]; then
    echo "arch-test: installing:$missing"
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
  fi
}

# Makes qemu-arm run ARM programs, remembering what it changed.
enable_binfmt() {
  if ! mountpoint -q "$BINFMT"; then
    mount -t binfmt_misc binfmt_misc "$BINFMT"
    MOUNTED_BINFMT=1
  fi
  if [ -e "$BINFMT/qemu-arm" ]; then
    if [ "$(head -n 1 "$BINFMT/qemu-arm")" != enabled ]; then
      echo 1 >"$BINFMT/qemu-arm"
      SWITCHED_ON_QEMU=1
    fi
  else
    update-binfmts --enable qemu-arm
    REGISTERED_QEMU=1
  fi
}

cleanup() {
  status=$?
  trap - EXIT INT TERM HUP
  if [ -n "$CHILD" ]; then
    # unshare holds SIGTERM while it waits; killed, it takes its child (--kill-child),
    # the namespace's first process, and with it every process and mount of the namespace.
    kill -KILL "$CHILD" 2>/dev/null || true
    wait "$CHILD" 2>/dev/null || true
  fi
  if [ -n "$TAIL" ]; then
    kill "$TAIL" 2>/dev/null || true
    wait "$TAIL" 2>/dev/null || true
  fi
  if [ "$REGISTERED_QEMU" = 1 ]; then update-binfmts --disable qemu-arm || true; fi
  if [ "$SWITCHED_ON_QEMU" = 1 ]; then echo 0 >"$BINFMT/qemu-arm" || true; fi
  if [ "$MOUNTED_BINFMT" = 1 ]; then umount "$BINFMT" || true; fi
  # What would have outlived the run: mounts in its chroot, processes in it (a run of
  # another architecture beside this one has a chroot of its own).
  own="$CACHE/$SUITE-$ARCH"
  left=$(findmnt -rn -o TARGET | grep -F "$own/" || true)
  if [ -n "$left" ]; then echo "arch-test: still mounted: $left" >&2; fi
  for p in /proc/[0-9]*; do
    case "$(readlink "$p/root" 2>/dev/null)" in
      "$own" | "$own"/*) echo "arch-test: still running in the chroot: ${p#/proc/}" >&2 ;;
    esac
  done
  if [ -n "$LOG" ] && [ -f "$LOG" ]; then
    line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$LOG" | tail -n 1 || true)
    echo "arch-test: $ARCH${SANITIZE:+ (sanitizers)}, log in $LOG"
    echo "${line:-arch-test: no test ran}"
  fi
  exit "$status"
}

[ $# -ge 1 ] || usage
ARCH=$1
shift
case "$ARCH" in
  i386 | armhf | armel) ;;
  *) usage ;;
esac
SRC=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" = --inner ]; then
  shift
  inner "$@"
  exit
fi

SANITIZE=""
if [ "${1:-}" = --sanitize ]; then
  SANITIZE=--sanitize
  shift
fi
if [ "${1:-}" = -- ]; then shift; fi
if [ "$(id -u)" -ne 0 ]; then
  echo "arch-test: needs root (debootstrap, chroot, mounts)" >&2
  exit 1
fi

CHILD=""
TAIL=""
LOG=""
MOUNTED_BINFMT=0
SWITCHED_ON_QEMU=0
REGISTERED_QEMU=0
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

ensure_host_packages
mkdir -p "$CACHE"
# One run per chroot at a time.
exec 9>"$CACHE/$SUITE-$ARCH.lock"
flock 9
if [ "$ARCH" != i386 ]; then enable_binfmt; fi

LOG="$CACHE/$SUITE-$ARCH${SANITIZE:+-sanitize}.log"
: >"$LOG"
# In the background, so that a signal reaches the traps at once; --kill-child ends the
# namespace (and with its first process every process in it) when unshare ends.
unshare --mount --propagation private --pid --fork --kill-child \
  sh "$0" "$ARCH" --inner $SANITIZE "$@" >"$LOG" 2>&1 9>&- &
CHILD=$!
tail -n +1 -f --pid="$CHILD" "$LOG" &
TAIL=$!
set +e
wait "$CHILD"
status=$?
set -e
CHILD=""
wait "$TAIL" || true
TAIL=""
exit "$status"
