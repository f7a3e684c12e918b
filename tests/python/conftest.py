import contextlib
import importlib
import os
import sys

import pytest

import orvel_mesh


@pytest.fixture
def mesh():
    return orvel_mesh.OrvelMesh("myapp")


@pytest.fixture(scope="session")
def testing():
    """The same class built with fault injection (never shipped)."""
    directory = os.environ.get("ORVEL_MESH_TESTING_DIR")
    if not directory:
        pytest.fail("ORVEL_MESH_TESTING_DIR must name the build directory of orvel_mesh_testing")
    sys.path.insert(0, directory)
    try:
        return importlib.import_module("orvel_mesh_testing")
    finally:
        sys.path.remove(directory)


@pytest.fixture
def faulty_mesh(testing):
    """A mesh of the fault-injection build, with the clock restored afterwards."""
    yield testing.OrvelMesh("myapp")
    testing.shift_clock(0)
    testing.pin_clock(None)


@pytest.fixture
def expect_panic():
    """A context manager: the block must end in PanicException, which `except Exception` misses."""

    @contextlib.contextmanager
    def expecting():
        with pytest.raises(BaseException) as raised:
            yield
        assert type(raised.value).__name__ == "PanicException"
        assert not isinstance(raised.value, Exception)

    return expecting
