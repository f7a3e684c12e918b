"""The modules the fuzz targets exercise: `orvel_mesh` as importable, and the fault-injection
build from the directory named by ORVEL_MESH_TESTING_DIR.

Import this before atheris and load the modules only after atheris.Setup(): a build with
coverage instrumentation (see README.md) then resolves its hooks in the fuzzer's library.
"""

import importlib
import os
import sys

sys.setdlopenflags(sys.getdlopenflags() | os.RTLD_GLOBAL)


def module():
    return importlib.import_module("orvel_mesh")


def testing():
    directory = os.environ.get("ORVEL_MESH_TESTING_DIR")
    if not directory:
        sys.exit("ORVEL_MESH_TESTING_DIR must name the build directory of orvel_mesh_testing")
    sys.path.insert(0, directory)
    try:
        return importlib.import_module("orvel_mesh_testing")
    finally:
        sys.path.remove(directory)
