#!/usr/bin/env bash
# The fault-injection module built as the release wheel is (zig, glibc 2.17, same flags), so
# the tests that use it run wherever the wheel does.
#   tools/release_test_module.sh PYTHON ARCH -> the build directory holding orvel_mesh_testing
# PYTHON's environment has cmake, ninja and ziglang; only its headers are used, never run
# for the target, so one build machine serves every architecture.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
python=$1 arch=$2
out="$root/build/release-tests-$arch"
settings=$("$root/tools/release_cmake_args.sh" "$python" "$arch")
defines=()
while IFS= read -r setting; do defines+=("-D$setting"); done <<<"$settings"

export PATH="$(dirname "$python"):$PATH" ZIG_GLOBAL_CACHE_DIR="$root/build/zig-cache"
{
    cmake -S "$root" -B "$out" -G Ninja -DORVEL_MESH_TESTS=ON "${defines[@]}" -DPython_EXECUTABLE="$python" \
        -DPython_INCLUDE_DIR="$("$python" -c 'import sysconfig; print(sysconfig.get_path("include"))')"
    cmake --build "$out" -j 2 --target orvel_mesh_testing
} >"$out.log" 2>&1 || { cat "$out.log" >&2; exit 1; }
echo "$out"
