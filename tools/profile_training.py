"""The training run of the release build's profile: the benchmark's workloads on the module
built with counters, a few hundred calls each. Only the generated documents are read, so the
standard ones stay a fair test of the trained build.

    python tools/profile_training.py   (orvel_mesh on PYTHONPATH, LLVM_PROFILE_FILE set)
"""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "bench"))
import cases  # noqa: E402

STORED_KEYS = 10_000
DOCUMENT_ROUND_TRIPS = 20
CALL_ROUNDS = 300  # of ten calls each

cases.documents.ensure()

for workload in cases.WORKLOADS:
    if cases.MESH not in workload.contenders or workload.name.split("/")[-1] in cases.STANDARD_NAMES:
        continue
    run = workload.prepare(cases.MESH, STORED_KEYS)
    run(DOCUMENT_ROUND_TRIPS if workload.inner == 1 else CALL_ROUNDS)
