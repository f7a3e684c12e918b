"""The C++ reading throughput beside simdjson's, from bench/json_throughput.cpp.

    run(BINARY, QUICK) -> {document: {"bytes", "canonical_mb_s", "check_mb_s", "simdjson_mb_s"}}

`simdjson_mb_s` is None when the benchmark was built without simdjson; the program says so
by name, and its output is printed as it is.
"""

import subprocess

from cases import DOCUMENT_PATHS


def run(binary, quick):
    names = {path.name: document for document, path in DOCUMENT_PATHS.items()}
    done = subprocess.run([str(binary), "--rounds", "1" if quick else "21", *map(str, DOCUMENT_PATHS.values())],
                          check=True, capture_output=True, text=True)
    print(done.stdout, end="", flush=True)
    figures = {}
    for line in done.stdout.splitlines():
        cells = line.split()
        if not cells or cells[0] not in names:
            continue
        figures[names[cells[0]]] = {
            "bytes": int(cells[1]),
            "canonical_mb_s": float(cells[2]),
            "check_mb_s": float(cells[3]),
            "simdjson_mb_s": None if cells[4] == "-" else float(cells[4]),
        }
    return figures
