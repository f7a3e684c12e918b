#!/usr/bin/env bash
# An arm64 Debian 13 root with its Python 3.13, pytest and mypy, run on this machine through
# qemu's user-mode emulation: where the aarch64 wheel is tested. Made once, then reused
# while the package list below stays the same.
#   tools/arm64_root.sh ROOT
set -euo pipefail

root=$1
packages=(python3 python3-venv python3-pytest python3-mypy)

apt_get() { apt-get -o DPkg::Lock::Timeout=600 "$@"; }

# Lets the kernel hand arm64 programs to qemu, inside the root too ("F": qemu is opened now).
enable_emulation() {
    if ! command -v qemu-aarch64-static >/dev/null || ! command -v debootstrap >/dev/null; then
        echo "installing Debian's qemu-user-static and debootstrap"
        apt_get update -qq
        apt_get install -y -qq qemu-user-static debootstrap >/dev/null
    fi
    [ -e /proc/sys/fs/binfmt_misc/register ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    [ -e /proc/sys/fs/binfmt_misc/qemu-aarch64 ] || cat /usr/lib/binfmt.d/qemu-aarch64.conf >/proc/sys/fs/binfmt_misc/register
}

make_root() {
    echo "making the arm64 Debian 13 root in $root (several minutes, once)"
    rm -rf "$root"
    debootstrap --arch=arm64 --variant=minbase --foreign trixie "$root" >"$root.log" 2>&1 ||
        { tail -20 "$root.log"; return 1; }
    chroot "$root" /debootstrap/debootstrap --second-stage >>"$root.log" 2>&1 ||
        { tail -20 "$root.log"; return 1; }
    chroot "$root" apt-get update -qq >>"$root.log" 2>&1
    chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${packages[@]}" >>"$root.log" 2>&1 || { tail -20 "$root.log"; return 1; }
    chroot "$root" python3 -m venv --system-site-packages /opt/venv >>"$root.log" 2>&1
    echo "${packages[*]}" >"$root/.made-with"
}

enable_emulation
[ "$(cat "$root/.made-with" 2>/dev/null)" = "${packages[*]}" ] || make_root
