"""Replays the fuzz corpora (seeds and the inputs that once broke something) through the same
checks the fuzz targets make, and the public JSON parsing suite when the reference data is
present (tools/reference_data.py)."""

from pathlib import Path

import pytest

import api_model
import checks
import orvel_mesh

CORPUS = Path(__file__).resolve().parents[2] / "fuzz" / "corpus"


def inputs(*directories):
    files = sorted(path for directory in directories for path in directory.iterdir())
    return pytest.mark.parametrize("path", files, ids=[f"{path.parent.name}/{path.name}" for path in files])


@pytest.fixture
def parsing_suite(reference_part):
    return sorted(reference_part("jsontestsuite").glob("*.json"))


def text_of(path):
    # Bytes that are not UTF-8 reach the mesh as lone surrogates, which it must refuse.
    return path.read_bytes().decode("utf-8", "surrogateescape")


@inputs(CORPUS / "json")
def test_documents_read_as_the_model_reads_them(path):
    checks.check_document(orvel_mesh.OrvelMesh("corpus"), text_of(path))


def test_the_parsing_suite_reads_as_the_model_reads_it(parsing_suite):
    # One test for the whole suite, so that the number of tests is the same without it.
    failures = {}
    for path in parsing_suite:
        try:
            checks.check_document(orvel_mesh.OrvelMesh("corpus"), text_of(path))
        except AssertionError as failure:
            failures[path.name] = str(failure)
    assert failures == {}


@inputs(CORPUS / "plan", CORPUS / "json")
def test_plans_read_as_the_model_reads_them(path):
    checks.check_plan(orvel_mesh.OrvelMesh, text_of(path))


@inputs(CORPUS / "api")
def test_call_sequences_follow_the_model(path, testing):
    api_model.Session(testing.OrvelMesh, testing).run(api_model.Source(path.read_bytes()), steps=200)


@pytest.mark.parametrize("prefix,accepted", [("y_", True), ("n_", False)])
def test_the_parsing_suite_is_judged_like_the_model(parsing_suite, prefix, accepted):
    # The model itself must agree with the suite, or the checks above would prove little.
    judged = {}
    for path in (path for path in parsing_suite if path.name.startswith(prefix)):
        try:
            checks.json_model.read(path.read_bytes().decode("utf-8"))
            judged[path.name] = True
        except (checks.Refused, UnicodeDecodeError):
            judged[path.name] = False
    assert len(judged) > 90
    assert {name for name, verdict in judged.items() if verdict != accepted} == set()
