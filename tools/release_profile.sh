#!/usr/bin/env bash
# The profile the release builds are optimised with: the module built by clang with counters,
# run through tools/profile_training.py, the counts merged. clang reads profiles of its
# earlier versions, so Debian's clang serves zig's. Made anew only when its inputs change.
#   tools/release_profile.sh PYTHON -> path of the profile; nothing, with a warning, without clang
# PYTHON is a 3.12 of this machine with cmake and ninja on its PATH.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
python=$1
out="$root/build/profile"
profile="$out/orvel_mesh.profdata"
mkdir -p "$out"

if ! major=$("$root/tools/ensure_clang.sh"); then
    echo "warning: no clang to make the release build's profile: the release build is not profile-guided" >&2
    exit 0
fi
inputs=$(cd "$root" && { echo "clang $major"; find mesh/src CMakeLists.txt tools/profile_training.py bench/cases.py \
    bench/documents.py -type f | sort | xargs cat; } | sha256sum)
if [ "$(cat "$out/.inputs" 2>/dev/null)" != "$inputs" ] || [ ! -f "$profile" ]; then
    export PATH="$(dirname "$python"):$PATH"
    {
        [ -f "$out/build/build.ninja" ] ||
            cmake -S "$root" -B "$out/build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DPython_EXECUTABLE="$python" \
                -DCMAKE_CXX_FLAGS=-fprofile-instr-generate -DCMAKE_MODULE_LINKER_FLAGS=-fprofile-instr-generate
        cmake --build "$out/build" -j 2 --target orvel_mesh
        rm -f "$out"/training-*.profraw
        LLVM_PROFILE_FILE="$out/training-%p.profraw" PYTHONPATH="$out/build" "$python" "$root/tools/profile_training.py"
        "llvm-profdata-$major" merge -o "$profile" "$out"/training-*.profraw
    } >"$out.log" 2>&1 || { cat "$out.log" >&2; exit 1; }
    echo "$inputs" >"$out/.inputs"
fi
echo "$profile"
