"""The conformance corpus (tests/conformance) through the state store, and the fuzz oracle's
reading of it: the table in expected.tsv is the one the C++ test replays too."""

from pathlib import Path

import pytest

import json_model

CONFORMANCE = Path(__file__).resolve().parents[1] / "conformance"
INPUTS = CONFORMANCE / "inputs"
OUTCOMES = {"valid": {"accept"}, "invalid": {"refuse"}, "open": {"accept", "refuse"}}


def manifest():
    # Split on line feeds only: expected texts may hold U+2028, which splitlines() breaks on.
    lines = (CONFORMANCE / "expected.tsv").read_text(encoding="utf-8").split("\n")
    return [tuple(line.split("\t")) for line in lines if line and not line.startswith("#")]


ROWS = manifest()


def test_every_input_has_one_expectation_that_its_kind_allows():
    files = sorted(path.relative_to(INPUTS).as_posix() for path in INPUTS.rglob("*") if path.is_file())
    assert sorted(row[0] for row in ROWS) == files
    assert [row for row in ROWS if len(row) != 4 or row[2] not in OUTCOMES.get(row[1], ())] == []


@pytest.mark.parametrize("name,kind,outcome,expected", ROWS, ids=[row[0] for row in ROWS])
def test_the_mesh_and_the_model_read_it_as_expected(mesh, name, kind, outcome, expected):
    data = (INPUTS / name).read_bytes()
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        # A str cannot carry these bytes; the C++ test checks their error texts.
        assert outcome == "refuse"
        with pytest.raises(UnicodeEncodeError):
            mesh.state_set("k", data.decode("utf-8", "surrogateescape"))
        return
    if outcome == "accept":
        mesh.state_set("k", text)
        assert mesh.state_get("k") == expected
        assert json_model.write(json_model.read(text)) == expected
    else:
        with pytest.raises(ValueError) as refused:
            mesh.state_set("k", text)
        assert str(refused.value) == "Serialization error: " + expected
        with pytest.raises(json_model.Refused):
            json_model.read(text)
