#!/usr/bin/env bash
# The CMake settings of a release build for ARCH (x86_64 or aarch64), one NAME=VALUE a line:
# zig's cross compiler aimed at glibc 2.17, the oldest that manylinux wheels are built for,
# and the profile of the training run (tools/release_profile.sh), which every target shares.
#   tools/release_cmake_args.sh PYTHON ARCH
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
python=$1 arch=$2
echo "CMAKE_TOOLCHAIN_FILE=$root/tools/zig-toolchain.cmake"
echo "ZIG_TARGET=$arch-linux-gnu.2.17"
# The build machine's GCC runtime serves a target of its own architecture (see the toolchain file).
if [ "$arch" = "$(uname -m)" ] && command -v gcc >/dev/null; then
    echo "ZIG_LIBGCC=$(gcc -print-libgcc-file-name)"
fi
profile=$("$root/tools/release_profile.sh" "$python")
[ -z "$profile" ] || echo "ORVEL_MESH_PROFILE=$profile"
