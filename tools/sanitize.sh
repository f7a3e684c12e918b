#!/usr/bin/env bash
# The C++ unit tests and the whole pytest suite against a build instrumented with
# AddressSanitizer (leak checking included) and UndefinedBehaviorSanitizer.
#   tools/sanitize.sh PYTHON BUILD_DIR
# PYTHON is an environment with pytest and the orvel_mesh wheel installed: the wheel brings
# the package metadata and type stub the tests read, while the instrumented orvel_mesh and
# orvel_mesh_testing built in BUILD_DIR are put in front of it on the import path.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
python=$1 out=$2

cmake -S "$root" -B "$out" -G Ninja -DORVEL_MESH_TESTS=ON -DORVEL_MESH_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DPython_EXECUTABLE="$python" >/dev/null
cmake --build "$out" -j 2

export ASAN_OPTIONS=detect_leaks=1
export LSAN_OPTIONS="suppressions=$root/tools/sanitize-leaks.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$out" --output-on-failure

# The interpreter itself is not instrumented, so the sanitizer runtime has to be loaded
# before it; the C++ runtime goes with it, or the sanitizer cannot intercept the
# exceptions that the module throws and catches.
export LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libstdc++.so)"
export PYTHONPATH="$out" ORVEL_MESH_TESTING_DIR="$out" ORVEL_MESH_SANITIZED=1
"$python" -c "import orvel_mesh, sys; sys.exit(not orvel_mesh.__file__.startswith('$out'))" ||
    { echo "sanitize: the instrumented orvel_mesh was not the one imported" >&2; exit 1; }
cd "$root/tests/python"
"$python" -m pytest -q -rs -p no:cacheprovider .
echo "sanitize: AddressSanitizer, LeakSanitizer and UBSan found nothing"
