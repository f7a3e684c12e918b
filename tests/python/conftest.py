import contextlib
import importlib
import os
import sys
from pathlib import Path

import pytest

import orvel_mesh

# The fuzz oracles, the benchmark documents' generator and the reference data lookup.
ROOT = Path(__file__).resolve().parents[2]
sys.path[:0] = [str(ROOT / "fuzz"), str(ROOT / "bench"), str(ROOT / "tools")]

import reference_data  # noqa: E402


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


@pytest.fixture
def reference_part(request):
    """find(part): that part of the optional reference data, or a skip naming this test and why."""

    def find(part):
        found = reference_data.find(part)
        if found is None:
            pytest.skip(f"{request.node.name}: {reference_data.absence(part)}")
        return found

    return find
