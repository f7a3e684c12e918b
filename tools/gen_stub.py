#!/usr/bin/env python3
"""Writes orvel_mesh-stubs/__init__.pyi, the type stub shipped in the wheel, from the
class's table (mesh/src/python/methods.hpp) as the test module gives it.

The stub is checked in, and the tests hold it equal to this script's output. After a
change to the table, rebuild the test module and run

    python3 tools/gen_stub.py build/tests

where build/tests is the build directory that holds orvel_mesh_testing.
"""

import sys
from pathlib import Path

import testing_module

OUTPUT = Path(__file__).resolve().parent.parent / "orvel_mesh-stubs" / "__init__.pyi"
LINE_LENGTH = 120

MODULE = '''# Made by tools/gen_stub.py from the class's table in mesh/src/python/methods.hpp:
# change the table and run the script rather than editing this file.
"""Python module `orvel_mesh`."""

from typing import {imports}

__version__: str
__all__ = ["OrvelMesh", "__version__"]

@final
class OrvelMesh:
'''


def docstring(text, indent):
    """The doc text as a docstring at this indent; its empty lines stay empty."""
    first, *rest = text.split("\n")
    lines = [f'{indent}"""{first}'] + [f"{indent}{line}" if line else "" for line in rest]
    return "\n".join(lines) + '"""\n'


def definition(name, first, parameters, result):
    """The `def` line, or one parameter a line when that is longer than LINE_LENGTH."""
    shown = [first] + [f"{parameter}: {annotation}" + ("" if default is None else f" = {default}")
                       for parameter, annotation, default in parameters]
    line = f"    def {name}({', '.join(shown)}) -> {result}:"
    if len(line) <= LINE_LENGTH:
        return line
    return f"    def {name}(\n" + "".join(f"        {item},\n" for item in shown) + f"    ) -> {result}:"


def render(table):
    """The stub's text for the rows that orvel_mesh_testing.method_table() gives."""
    annotations = {annotation for _, _, parameters, _, _ in table for _, annotation, _ in parameters}
    imports = sorted({"final"} | ({"SupportsIndex"} & annotations))
    parts = [MODULE.format(imports=", ".join(imports))]
    for kind, name, parameters, result, doc in table:
        if kind == "constructor":
            parts.append(docstring(doc, "    ") + "\n")
            parts.append(definition(name, "cls", parameters, result) + " ...\n")
        elif kind == "attribute":
            parts.append("    @property\n" + definition(name, "self", parameters, result) + "\n")
            parts.append(docstring(doc, "        ") + "\n")
        else:
            parts.append(definition(name, "self", parameters, result) + "\n")
            parts.append(docstring(doc, "        ") + "\n")
    return "".join(parts).rstrip("\n") + "\n"


def main(build_directory):
    OUTPUT.write_text(render(testing_module.load(build_directory).method_table()), encoding="utf-8")
    print(f"wrote {OUTPUT}")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
