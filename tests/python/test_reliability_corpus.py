"""Replays the fuzz corpora (seeds and the inputs that once broke something) and the shared
JSON parsing suite through the same checks the fuzz targets make."""

import sys
from pathlib import Path

import pytest

import orvel_mesh

ROOT = Path(__file__).resolve().parents[2]
CORPUS = ROOT / "fuzz" / "corpus"
PARSING_SUITE = ROOT.parent / "shared" / "data" / "jsontestsuite"
sys.path.insert(0, str(ROOT / "fuzz"))

import api_model  # noqa: E402
import checks  # noqa: E402


def inputs(*directories):
    files = sorted(path for directory in directories if directory.is_dir() for path in directory.iterdir()
                   if path.is_file() and path.name != "LICENSE")
    return pytest.mark.parametrize("path", files, ids=[f"{path.parent.name}/{path.name}" for path in files])


def text_of(path):
    # Bytes that are not UTF-8 reach the mesh as lone surrogates, which it must refuse.
    return path.read_bytes().decode("utf-8", "surrogateescape")


@inputs(CORPUS / "json", PARSING_SUITE)
def test_documents_read_as_the_model_reads_them(path):
    checks.check_document(orvel_mesh.OrvelMesh("corpus"), text_of(path))


@inputs(CORPUS / "plan", CORPUS / "json")
def test_plans_read_as_the_model_reads_them(path):
    checks.check_plan(orvel_mesh.OrvelMesh, text_of(path))


@inputs(CORPUS / "api")
def test_call_sequences_follow_the_model(path, testing):
    api_model.Session(testing.OrvelMesh, testing).run(api_model.Source(path.read_bytes()), steps=200)


@pytest.mark.parametrize("prefix,accepted", [("y_", True), ("n_", False)])
def test_the_parsing_suite_is_judged_like_the_model(prefix, accepted):
    # The model itself must agree with the suite, or the checks above would prove little.
    if not PARSING_SUITE.is_dir():
        pytest.skip(f"the JSON parsing suite is not present at {PARSING_SUITE}")
    judged = {}
    for path in sorted(PARSING_SUITE.glob(f"{prefix}*.json")):
        try:
            checks.json_model.read(path.read_bytes().decode("utf-8"))
            judged[path.name] = True
        except (checks.Refused, UnicodeDecodeError):
            judged[path.name] = False
    assert len(judged) > 90
    assert {name for name, verdict in judged.items() if verdict != accepted} == set()
