#!/usr/bin/env bash
# The pytest suite on the aarch64 wheel, in an arm64 Debian 13 root under qemu's emulation.
#   tools/test_aarch64.sh PYTHON WHEEL [PYTEST ARGS...]
# PYTHON's environment has cmake, ninja and ziglang (to cross-build the fault-injection module).
# Left out, as emulation makes them take half an hour and they test nothing that depends on
# the architecture: the leak checks (a hundred thousand calls per method in subprocesses)
# and the typing checks (mypy and stubtest over the stub and the examples). Left out as well,
# as it cannot work there: the out-of-memory sweep, whose address-space limit binds the
# emulator's own reservations rather than the emulated program's allocations.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
python=$1 wheel=$2
shift 2
system="$root/build/debian-arm64-root"
"$root/tools/arm64_root.sh" "$system"
testing=$("$root/tools/release_test_module.sh" "$python" aarch64)

# The repository is seen inside the root at /src, and the optional reference data that
# ORVEL_MESH_REFERENCE_DATA names, when set, at /reference; the mounts live in a namespace of
# their own, so they end with this command.
reference_data=${ORVEL_MESH_REFERENCE_DATA:-}
mkdir -p "$system/src" "$system/reference"
unshare --mount --propagation private bash -c '
    set -e
    mount --bind "$1" "$3/src"
    if [ -n "$2" ] && [ -d "$2" ]; then mount --bind -o ro "$2" "$3/reference"; fi
    mount -t proc proc "$3/proc"
    mount --bind /dev "$3/dev"
    shift 2
    exec chroot "$@"' - "$root" "$reference_data" "$system" \
    env ORVEL_MESH_TESTING_DIR="/src/${testing#"$root"/}" ${reference_data:+ORVEL_MESH_REFERENCE_DATA=/reference} \
    /bin/sh -c '
        set -e
        /opt/venv/bin/python -m pip install --quiet --no-index --no-deps --force-reinstall "$1"
        shift
        cd /src/tests/python
        exec /opt/venv/bin/python -m pytest -q -p no:cacheprovider \
            --ignore=test_reliability_leaks.py --ignore=test_typing.py \
            --ignore=test_reliability_memory.py "$@" .' - "/src/${wheel#"$root"/}" "$@"
