#!/usr/bin/env bash
# One release wheel for ARCH, built by scikit-build-core with zig's cross compiler and tagged
# manylinux by auditwheel, which refuses a module needing more than the policy allows.
#   tools/release_wheel.sh PYTHON ARCH WHEELHOUSE -> path of the wheel in WHEELHOUSE
# PYTHON's environment has build, scikit-build-core, cmake, ninja, ziglang and auditwheel.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
python=$1 arch=$2 wheelhouse=$3
work="$root/build/release-$arch"
settings=$("$root/tools/release_cmake_args.sh" "$python" "$arch")
defines=()
while IFS= read -r setting; do defines+=(-C "cmake.define.$setting"); done <<<"$settings"

# The toolchain finds zig through the python3 on PATH; zig keeps its cache in build/.
export PATH="$(dirname "$python"):$PATH" ZIG_GLOBAL_CACHE_DIR="$root/build/zig-cache"
rm -rf "$work/dist"
_PYTHON_HOST_PLATFORM="linux-$arch" "$python" -m build --wheel --no-isolation --outdir "$work/dist" \
    -C build-dir="$work/cmake" "${defines[@]}" "$root" >"$work.log" 2>&1 || { cat "$work.log" >&2; exit 1; }
rm -f "$wheelhouse"/orvel_mesh-*"$arch".whl
# The most widely installable tag the module allows; its --plat list names only this machine's arch.
"$python" -m auditwheel repair --wheel-dir "$wheelhouse" "$work"/dist/*.whl >>"$work.log" 2>&1 ||
    { cat "$work.log" >&2; exit 1; }
ls "$wheelhouse"/orvel_mesh-*manylinux_2_17_"$arch".whl
