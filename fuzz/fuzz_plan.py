"""Fuzz target: any text given to the constructor as a plan must be read exactly as the plan
model reads it (see checks.check_plan)."""

import mesh_under_test  # noqa: I001 - first, so that an instrumented build finds the fuzzer

import sys

import atheris

with atheris.instrument_imports():
    import checks

MESH_CLASS = None


def test_one_input(data):
    checks.check_plan(MESH_CLASS, data.decode("utf-8", "surrogateescape"))


if __name__ == "__main__":
    atheris.Setup(sys.argv, test_one_input)
    MESH_CLASS = mesh_under_test.module().OrvelMesh
    atheris.Fuzz()
