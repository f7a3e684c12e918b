"""The modules the fuzz targets exercise: `orvel_mesh` as importable, and the fault-injection
build from the directory named by ORVEL_MESH_TESTING_DIR."""

import importlib
import os
import sys


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
