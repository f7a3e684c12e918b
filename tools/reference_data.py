"""The optional reference data: the public JSON parsing suite (`jsontestsuite/`) and the three
standard benchmark documents (`bench/`). They are not the project's own, so they are never in
the repository: the folder ORVEL_MESH_REFERENCE_DATA names holds them, or else `shared/data`
beside the clone, where the project's machines keep them. Tests that need them skip by name
when they are absent. This is the only place that looks outside the repository.

    python tools/reference_data.py [PART]   prints the folder (or its PART), or nothing
                                            and the reason on stderr when it is absent
"""

import os
import sys
from pathlib import Path

VARIABLE = "ORVEL_MESH_REFERENCE_DATA"
BESIDE_THE_CLONE = Path(__file__).resolve().parents[2] / "shared" / "data"


def folder():
    """The reference data folder, or None."""
    named = os.environ.get(VARIABLE)
    candidate = Path(named) if named else BESIDE_THE_CLONE
    return candidate if candidate.is_dir() else None


def find(part=""):
    """The folder's `part` ("jsontestsuite" or "bench"), or None when it is absent."""
    base = folder()
    return base / part if base is not None and (base / part).is_dir() else None


def absence(part=""):
    """Why `find(part)` gives None, for a skip message."""
    base = folder()
    if base is not None:
        return f"reference data: {base} has no {part}/"
    named = os.environ.get(VARIABLE)
    if named:
        return f"reference data absent: {VARIABLE}={named} is not a folder"
    return f"reference data absent: {VARIABLE} is not set and there is no {BESIDE_THE_CLONE}"


if __name__ == "__main__":
    part = sys.argv[1] if len(sys.argv) > 1 else ""
    found = find(part)
    if found is None:
        print(f"{absence(part)}; what needs it is skipped", file=sys.stderr)
    else:
        print(found)
