"""Fuzz target: any text stored as a state value must be read exactly as the model reads it
(see checks.check_document)."""

import mesh_under_test  # noqa: I001 - first, so that an instrumented build finds the fuzzer

import sys

import atheris

with atheris.instrument_imports():
    import checks

MESH = None


def test_one_input(data):
    checks.check_document(MESH, data.decode("utf-8", "surrogateescape"))


if __name__ == "__main__":
    atheris.Setup(sys.argv, test_one_input)
    MESH = mesh_under_test.module().OrvelMesh("fuzz")
    atheris.Fuzz()
