#!/usr/bin/env bash
# The CMake settings of a release build for ARCH (x86_64 or aarch64), one NAME=VALUE a line:
# zig's cross compiler aimed at glibc 2.17, the oldest that manylinux wheels are built for.
#   tools/release_cmake_args.sh ARCH
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
arch=$1
echo "CMAKE_TOOLCHAIN_FILE=$root/tools/zig-toolchain.cmake"
echo "ZIG_TARGET=$arch-linux-gnu.2.17"
# The build machine's GCC runtime serves a target of its own architecture (see the toolchain file).
if [ "$arch" = "$(uname -m)" ] && command -v gcc >/dev/null; then
    echo "ZIG_LIBGCC=$(gcc -print-libgcc-file-name)"
fi
