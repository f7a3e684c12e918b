"""Fuzz target: a sequence of method calls, faults included, chosen by the input bytes and
checked call by call against the model of api_model.Session."""

import mesh_under_test  # noqa: I001 - first, so that an instrumented build finds the fuzzer

import sys

import atheris

with atheris.instrument_imports():
    import api_model

TESTING = None


def test_one_input(data):
    api_model.Session(TESTING.OrvelMesh, TESTING).run(api_model.Source(data), steps=200)


if __name__ == "__main__":
    atheris.Setup(sys.argv, test_one_input)
    TESTING = mesh_under_test.testing()
    atheris.Fuzz()
