#!/usr/bin/env bash
# Compiles the core for macOS on arm64 and for Windows (MinGW ABI) with zig's cross compiler.
#   tools/core_portability.sh PYTHON    (PYTHON's environment has cmake, ninja and ziglang)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
python=$1
export PATH="$(dirname "$python"):$PATH" ZIG_GLOBAL_CACHE_DIR="$root/build/zig-cache"
for target in aarch64-macos x86_64-windows-gnu; do
    out="$root/build/portability-$target"
    { cmake -S "$root/tools/portability" -B "$out" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/tools/zig-toolchain.cmake" \
          -DZIG_TARGET="$target" && cmake --build "$out" -j 2; } >"$out.log" 2>&1 || { cat "$out.log" >&2; exit 1; }
done
echo "portability: the core compiles for aarch64-macos and x86_64-windows-gnu"
