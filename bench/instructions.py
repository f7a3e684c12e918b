"""Instructions per call of the calls that take and give no JSON text, counted by callgrind:
on a shared machine a count does not move with the load the way a time does.

    python bench/instructions.py [--rounds N]     prints every count of this interpreter's cases
    python bench/instructions.py --worker WORKLOAD CONTENDER {call|idle} ROUNDS

A count is the difference of two runs of this script under callgrind that prepare the same
case and then run ROUNDS rounds of a loop: of ten calls in one, empty in the other. All but
the calls cancels out; what is left, divided by the calls made, is what a call costs the
Python code that makes it. An empty lambda's call is counted the same way, for scale.
(Counted above an empty lambda's call instead, a bound C builtin such as dict.get costs
less than nothing: the lambda runs a frame of Python code, the builtin none.)
"""

import argparse
import re
import shutil
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor
from itertools import repeat
from pathlib import Path
from time import process_time

from cases import FLOOR, KEY, MESH, REFERENCE, WORKLOADS, calls_timer, workload_named

SCRIPT = Path(__file__).resolve()
# Rounds of ten calls. What else differs between the two runs of a count (setup over tables
# in a random order: a few hundred thousand instructions at most) is then a couple of
# instructions per call, or about ten in a quick run.
ROUNDS = 20_000
QUICK_ROUNDS = 5_000
COLLECTED = re.compile(r"Collected\s*:\s*(\d+)")
# Ours, the C builtin of the same lookup and the plain-Python reference.
COUNTED = (MESH, FLOOR, REFERENCE)


def counted_workloads():
    return [workload for workload in WORKLOADS if workload.call is not None]


def unavailable():
    """Why nothing can be counted here, or None."""
    return None if shutil.which("valgrind") else "valgrind not found (apt-get install valgrind)"


# The call counted for scale, under this name in place of a contender.
EMPTY_LAMBDA = "empty_lambda"


def idle(rounds):
    start = process_time()
    for _ in repeat(None, rounds):
        pass
    return process_time() - start


def worker(workload_name, contender, body, rounds):
    if contender == EMPTY_LAMBDA:
        function, args = (lambda a: None), (KEY,)
    else:
        function, args = workload_named(workload_name).call(contender)
    if body == "idle":
        idle(rounds)
    else:
        calls_timer(function, *args)(rounds)


def run_counted(python, workload_name, contender, body, rounds):
    done = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null", python, str(SCRIPT),
                           "--worker", workload_name, contender, body, str(rounds)],
                          capture_output=True, text=True, check=True)
    return int(COLLECTED.findall(done.stderr)[-1])


def count(python, workload_name, contender, rounds):
    """Instructions per call above an empty lambda's, for one case under `python`."""
    called = run_counted(python, workload_name, contender, "call", rounds)
    idle_loop = run_counted(python, workload_name, contender, "idle", rounds)
    return (called - idle_loop) / (10 * rounds)


def count_all(runs, rounds):
    """`runs`: (python, contender, filed name) triples. Maps "workload/filed name" to
    instructions per call, two cases at a time (the machine has two cores)."""
    jobs = [(workload.name, python, contender, name) for workload in counted_workloads()
            for python, contender, name in runs if contender in workload.contenders]
    jobs.append(("small/empty_lambda", sys.executable, EMPTY_LAMBDA, EMPTY_LAMBDA))
    with ThreadPoolExecutor(max_workers=2) as pool:
        counts = pool.map(lambda job: count(job[1], job[0], job[2], rounds), jobs)
        return {f"{workload}/{name}": instructions for (workload, _, _, name), instructions in zip(jobs, counts)}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--worker", nargs=4, metavar=("WORKLOAD", "CONTENDER", "BODY", "ROUNDS"))
    parser.add_argument("--rounds", type=int, default=ROUNDS)
    args = parser.parse_args()
    if args.worker:
        workload, contender, body, rounds = args.worker
        worker(workload, contender, body, int(rounds))
        return
    reason = unavailable()
    if reason:
        raise SystemExit(f"SKIPPED instruction counts: {reason}")
    counts = count_all([(sys.executable, contender, contender) for contender in COUNTED], args.rounds)
    for name, instructions in counts.items():
        print(f"{name}: {instructions:.1f} instructions per call")


if __name__ == "__main__":
    main()
