#!/usr/bin/env bash
# A minimal Debian root (debootstrap's minbase) holding the given packages, for running the
# tests on interpreters this machine does not have. It is kept and reused while its suite
# and package list stay the same, and made anew when they change or it is missing.
#   tools/debian-root.sh SUITE ROOT PACKAGE...
# Exits non-zero, saying why on stderr, when the root cannot be made here.
set -euo pipefail

suite=$1 target=$2
shift 2
mirror=http://deb.debian.org/debian
wanted="$suite $*"

cannot() { echo "cannot make the Debian $suite root $target: $*" >&2; exit 1; }

[ "$(cat "$target/.packages" 2>/dev/null)" = "$wanted" ] && exit 0

[ "$(id -u)" = 0 ] || cannot "debootstrap and chroot need root rights"
if ! command -v debootstrap >/dev/null; then
    echo "installing debootstrap from Debian's packages" >&2
    # Others may be running apt at the same moment: wait for their lock rather than fail.
    apt-get -o DPkg::Lock::Timeout=600 install -y -qq debootstrap >/dev/null 2>&1 ||
        { apt-get -o DPkg::Lock::Timeout=600 update -qq >/dev/null 2>&1 &&
          apt-get -o DPkg::Lock::Timeout=600 install -y -qq debootstrap >/dev/null 2>&1; } ||
        cannot "debootstrap is missing and apt-get could not install it"
fi
# A root with something still mounted inside must not be deleted through its mounts.
! grep -qF " $target" /proc/self/mounts || cannot "something is still mounted inside it"

# Made beside the old one and moved into place, so an interrupted run never looks finished.
rm -rf "$target" "$target.new"
mkdir -p "$(dirname "$target")"
log="$target.log"
debootstrap --variant=minbase --include="$(IFS=,; echo "$*")" "$suite" "$target.new" "$mirror" >"$log" 2>&1 ||
    { tail -n 5 "$log" >&2; rm -rf "$target.new"; cannot "debootstrap failed (is $mirror reachable? log: $log)"; }
echo "$wanted" >"$target.new/.packages"
mv "$target.new" "$target"
