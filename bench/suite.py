"""The benchmark suite: every contender on every workload in one run, a table of the
targets, and the raw figures. The calls without JSON are also counted in instructions by
callgrind (bench/instructions.py), skipped by name when valgrind is missing.

    python bench/suite.py            full run; writes bench/results/latest.{json,md,png}
    python bench/suite.py --quick    tiny sizes and one value per case, written to a
                                     temporary directory; checks that the contenders agree
    --release-python PYTHON          also times the orvel_mesh installed for PYTHON (the
                                     release wheel) as the contender orvel_mesh_release
    --json-throughput BINARY         also runs bench/json_throughput.cpp's program on the
                                     documents, beside simdjson when it was built with it
"""

import argparse
import json
import os
import platform
import statistics
import subprocess
import sys
import tempfile
from collections import defaultdict
from datetime import datetime, timezone
from pathlib import Path

import pyperf

import documents
import instructions as counting
import throughput
from agreement import check_contenders_agree
from cases import MESH, RELEASE, WORKLOADS, document_sources, reference_data
from report import MEMORY_CONTENDERS, MEMORY_WORKLOADS, tables, text_table, write_json, write_markdown, write_plot
from targets import judge, judge_json

BENCH = Path(__file__).resolve().parent
FULL = {"size": 1_000_000, "pyperf": ["--processes", "2", "--values", "3", "--warmups", "1"], "turns": 3,
        "rounds": counting.ROUNDS}
QUICK = {"size": 20_000, "pyperf": ["--debug-single-value"], "turns": 1, "rounds": counting.QUICK_ROUNDS}


def run_timings(settings, scratch, release_python):
    """Every case under this interpreter and the MESH cases again under `release_python`,
    workload by workload, the two builds one after the other, in several turns: a change in
    the machine's load, or what one workload leaves behind for the next, falls on both alike."""
    runs = [(sys.executable, [], MESH)]
    if release_python:
        runs.append((release_python, ["--only", MESH], RELEASE))
    values = defaultdict(list)
    for turn in range(settings["turns"]):
        for workload in WORKLOADS:
            for python, only, name in runs:
                if only and MESH not in workload.contenders:
                    continue
                output = scratch / f"timings-{name}-{turn}.json"
                output.unlink(missing_ok=True)
                # The workers must find the same documents as this process.
                subprocess.run([python, str(BENCH / "timing.py"), "--quiet", "-o", str(output), *only,
                                "--workload", workload.name, "--inherit-environ", reference_data.VARIABLE,
                                "--size", str(settings["size"]), *settings["pyperf"]], check=True)
                for bench in pyperf.BenchmarkSuite.load(str(output)).get_benchmarks():
                    contender = bench.get_name().rsplit("/", 1)[1]
                    filed = name if contender == MESH else contender
                    values[f"{workload.name}/{filed}"].extend(bench.get_values())
    return {case: {"median_s": statistics.median(taken), "values_s": taken} for case, taken in values.items()}


def run_memory(count, release_python):
    contenders = [(sys.executable, contender, contender) for contender in MEMORY_CONTENDERS]
    if release_python:
        contenders.append((release_python, MESH, RELEASE))
    figures = []
    for workload in MEMORY_WORKLOADS:
        for python, contender, name in contenders:
            done = subprocess.run([python, str(BENCH / "memory.py"), contender, workload, str(count)],
                                  check=True, capture_output=True, text=True)
            figures.append({**json.loads(done.stdout), "contender": name})
            print(f"memory/{workload}/{name}: {figures[-1]['bytes_per_item']:.0f} bytes per item", flush=True)
    return figures


def run_instructions(rounds, release_python):
    """Instructions per call of the calls without JSON; empty, said by name, without callgrind."""
    reason = counting.unavailable()
    if reason:
        print(f"SKIPPED instruction counts of {', '.join(w.name for w in counting.counted_workloads())}: {reason}")
        return {}
    runs = [(sys.executable, contender, contender) for contender in counting.COUNTED]
    if release_python:
        runs.append((release_python, MESH, RELEASE))
    counts = counting.count_all(runs, rounds)
    for name, count in counts.items():
        print(f"{name}: {count:.0f} instructions per call", flush=True)
    return counts


def machine():
    cpu = platform.processor() or platform.machine()
    try:
        with open("/proc/cpuinfo") as cpuinfo:
            cpu = next(line.split(":", 1)[1].strip() for line in cpuinfo if line.startswith("model name"))
    except (OSError, StopIteration):
        pass
    return {"cpu": cpu, "cores": os.cpu_count(), "python": platform.python_version(), "system": platform.platform()}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--quick", action="store_true", help="seconds, not minutes: tiny sizes, one value")
    parser.add_argument("--results", type=Path, help="directory for latest.{json,md,png}")
    parser.add_argument("--release-python", help="an interpreter with the release wheel installed")
    parser.add_argument("--json-throughput", type=Path, help="the json_throughput program")
    args = parser.parse_args()
    settings = QUICK if args.quick else FULL

    documents.ensure()
    print(document_sources())
    check_contenders_agree()
    with tempfile.TemporaryDirectory() as scratch:
        results = args.results or (Path(scratch) if args.quick else BENCH / "results")
        results.mkdir(parents=True, exist_ok=True)
        timings = run_timings(settings, Path(scratch), args.release_python)
        memory_figures = run_memory(settings["size"], args.release_python)
        reading = throughput.run(args.json_throughput, args.quick) if args.json_throughput else {}
        instructions = run_instructions(settings["rounds"], args.release_python)

        times = {name: figures["median_s"] for name, figures in timings.items()}
        memory = {(f["workload"], f["contender"]): f["bytes_per_item"] for f in memory_figures}
        verdicts = judge(times, memory, instructions) + judge_json(times, reading)
        about = machine()
        print()
        print(tables(times, memory, instructions, verdicts, text_table))
        write_json(results / "latest.json", {
            "generated": datetime.now(timezone.utc).isoformat(timespec="seconds"),
            "quick": args.quick,
            "machine": about,
            "settings": settings,
            "timings": timings,
            "memory": memory_figures,
            "json_throughput": reading,
            "instructions_per_call": instructions,
            "targets": [verdict.as_dict() for verdict in verdicts],
        })
        write_markdown(results / "latest.md", times, memory, instructions, verdicts, about)
        write_plot(results / "latest.png", times, memory)
        print(f"\nwrote {results}/latest.json, latest.md and latest.png")


if __name__ == "__main__":
    main()
