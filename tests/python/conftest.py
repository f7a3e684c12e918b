import contextlib
import sys
from pathlib import Path

import pytest

import orvel_mesh

# The fuzz oracles, the benchmark documents' generator, the reference data lookup, the test
# module's loader and the stub generator.
ROOT = Path(__file__).resolve().parents[2]
sys.path[:0] = [str(ROOT / "fuzz"), str(ROOT / "bench"), str(ROOT / "tools")]

import reference_data  # noqa: E402
import testing_module  # noqa: E402


@pytest.fixture
def mesh():
    return orvel_mesh.OrvelMesh("myapp")


@pytest.fixture(scope="session")
def testing():
    """The same class built with fault injection (never shipped)."""
    try:
        return testing_module.load()
    except LookupError as missing:
        pytest.fail(str(missing))


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
