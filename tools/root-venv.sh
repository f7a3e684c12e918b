#!/usr/bin/env bash
# A venv made with one of a Debian root's Pythons, holding the test tools and the wheel
# under test. The tools' wheels are downloaded here, outside the root, for that Python's
# version, and installed inside it from a local folder, so the root needs no network. The
# venv is kept while the tools asked for stay the same; the wheel is installed afresh.
#   tools/root-venv.sh HOST_PYTHON ROOT VERSION WHEEL REQUIREMENT...
# HOST_PYTHON is any Python with pip, used for the downloads. Prints the venv's path in the root.
set -euo pipefail

tools=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
host_python=$1 target=$2 version=$3 wheel=$4
shift 4
venv=/venvs/$version wheels=/wheels/$version log="$target.venv-$version.log"

if [ "$(cat "$target$venv/.inputs" 2>/dev/null)" != "$*" ]; then
    rm -rf "${target:?}$venv" "${target:?}$wheels"
    { "$host_python" -m pip download --disable-pip-version-check --python-version "$version" \
          --only-binary=:all: --dest "$target$wheels" "$@" &&
      "$tools/in-root.sh" "$target" / "python$version" -m venv "$venv" &&
      "$tools/in-root.sh" "$target" / "$venv/bin/python" -m pip install --disable-pip-version-check \
          --no-index --find-links "$wheels" "$@"
    } >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
    echo "$*" >"$target$venv/.inputs"
fi
mkdir -p "$target/wheels/under-test"
rm -f "$target"/wheels/under-test/*
cp "$wheel" "$target/wheels/under-test/"
"$tools/in-root.sh" "$target" / "$venv/bin/python" -m pip install --quiet --disable-pip-version-check \
    --force-reinstall --no-deps "/wheels/under-test/$(basename "$wheel")" >&2
echo "$venv"
