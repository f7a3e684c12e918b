#!/usr/bin/env bash
# Runs a command inside a root made by tools/debian-root.sh, with /proc mounted, this
# repository (and the optional reference data that ORVEL_MESH_REFERENCE_DATA names, when set)
# bound read-only at their own paths, and a clean environment, so nothing of the host's
# Python setup leaks in. The mounts live in
# a private mount namespace and vanish with the command.
#   tools/in-root.sh ROOT DIRECTORY COMMAND...   (DIRECTORY: where COMMAND starts, inside the root)
set -euo pipefail

repository=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
target=$1 directory=$2
shift 2

exec unshare --mount --propagation private -- bash -euo pipefail -c '
    target=$1 directory=$2 repository=$3 reference_data=$4
    shift 4
    mount -t proc proc "$target/proc"
    for path in "$repository" "$reference_data"; do
        [ -n "$path" ] && [ -d "$path" ] || continue
        mkdir -p "$target$path"
        mount --bind -o ro "$path" "$target$path"
    done
    environment=(PATH=/usr/bin:/bin HOME=/root LANG=C.UTF-8)
    [ -z "$reference_data" ] || environment+=("ORVEL_MESH_REFERENCE_DATA=$reference_data")
    exec chroot "$target" /usr/bin/env -i "${environment[@]}" \
        bash -c "cd \"\$0\" && exec \"\$@\"" "$directory" "$@"
' in-root "$target" "$directory" "$repository" "${ORVEL_MESH_REFERENCE_DATA:-}" "$@"
