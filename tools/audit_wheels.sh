#!/usr/bin/env bash
# What a package index and its users would check, on each wheel: the manylinux tag and no
# library beyond the policy's (auditwheel), the stable ABI only (abi3audit), the metadata
# and readme (twine), and the file layout (check-wheel-contents); and that the module unwinds
# with the system's libgcc_s (see tools/zig-toolchain.cmake).
#   tools/audit_wheels.sh PYTHON WHEEL...
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
python=$1
shift
module=$(mktemp)
trap 'rm -f "$module"' EXIT
for wheel in "$@"; do
    shown=$("$python" -m auditwheel show "$wheel" 2>/dev/null)
    tag=$(grep -o '"manylinux_[0-9_a-z]*"' <<<"$shown" | head -1)
    if ! grep -q '"manylinux_2_17_' <<<"$tag" || grep -q 'external shared libraries are required' <<<"$shown"; then
        echo "$shown" >&2
        echo "audit: $(basename "$wheel") is not manylinux_2_17 without external libraries" >&2
        exit 1
    fi
    "$python" -m abi3audit --strict --report "$wheel" >/dev/null
    unzip -p "$wheel" '*.so' >"$module"
    if ! readelf --dyn-syms --wide "$module" | grep ' UND _Unwind_Resume@GCC_3.0' >/dev/null; then
        echo "audit: $(basename "$wheel") does not take its unwinder from libgcc_s.so.1" >&2
        exit 1
    fi
    echo "audit: $(basename "$wheel") ($(du -k "$wheel" | cut -f1) kB): auditwheel $tag, abi3audit --strict clean, unwinder libgcc_s"
done
"$python" -m twine check --strict "$@"
(cd "$root" && "$python" -m check_wheel_contents "$@")
