"""The modules the fuzz targets exercise: `orvel_mesh` as importable, and the fault-injection
build from the directory named by ORVEL_MESH_TESTING_DIR.

Import this before atheris and load the modules only after atheris.Setup(): a build with
coverage instrumentation (see README.md) then resolves its hooks in the fuzzer's library.
"""

import importlib
import os
import sys
from pathlib import Path

sys.setdlopenflags(sys.getdlopenflags() | os.RTLD_GLOBAL)
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tools"))
import testing_module  # noqa: E402


def module():
    return importlib.import_module("orvel_mesh")


def testing():
    try:
        return testing_module.load()
    except LookupError as missing:
        sys.exit(str(missing))
