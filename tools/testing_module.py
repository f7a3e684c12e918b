"""The fault-injection build `orvel_mesh_testing`, which is never installed: imported from
its build directory, by default the one ORVEL_MESH_TESTING_DIR names."""

import importlib
import os
import sys


def load(directory=None):
    directory = directory or os.environ.get("ORVEL_MESH_TESTING_DIR")
    if not directory:
        raise LookupError("ORVEL_MESH_TESTING_DIR must name the build directory of orvel_mesh_testing")
    sys.path.insert(0, directory)
    try:
        return importlib.import_module("orvel_mesh_testing")
    finally:
        sys.path.remove(directory)
