"""The benchmark suite: every contender on every workload in one run, a table of the
targets, and the raw figures.

    python bench/suite.py            full run; writes bench/results/latest.{json,md,png}
    python bench/suite.py --quick    tiny sizes and one value per case, written to a
                                     temporary directory; checks that the contenders agree
"""

import argparse
import json
import os
import platform
import subprocess
import sys
import tempfile
from datetime import datetime, timezone
from pathlib import Path

import pyperf

from agreement import check_contenders_agree
from cases import ALL_DOCUMENTS, DOCUMENTS, DOCUMENTS_DIR
from report import MEMORY_CONTENDERS, MEMORY_WORKLOADS, tables, text_table, write_json, write_markdown, write_plot
from targets import judge

BENCH = Path(__file__).resolve().parent
FULL = {"size": 1_000_000, "pyperf": ["--processes", "6", "--values", "3", "--warmups", "1"]}
QUICK = {"size": 20_000, "pyperf": ["--debug-single-value"]}


def run_timings(settings, scratch):
    output = scratch / "timings.json"
    subprocess.run([sys.executable, str(BENCH / "timing.py"), "--quiet", "-o", str(output),
                    "--size", str(settings["size"]), *settings["pyperf"]], check=True)
    suite = pyperf.BenchmarkSuite.load(str(output))
    return {bench.get_name(): {"median_s": bench.median(), "values_s": list(bench.get_values())}
            for bench in suite.get_benchmarks()}


def run_memory(count):
    figures = []
    for workload in MEMORY_WORKLOADS:
        for contender in MEMORY_CONTENDERS:
            done = subprocess.run([sys.executable, str(BENCH / "memory.py"), contender, workload, str(count)],
                                  check=True, capture_output=True, text=True)
            figures.append(json.loads(done.stdout))
            print(f"memory/{workload}/{contender}: {figures[-1]['bytes_per_item']:.0f} bytes per item", flush=True)
    return figures


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
    args = parser.parse_args()
    settings = QUICK if args.quick else FULL

    if missing := [name for name in ALL_DOCUMENTS if name not in DOCUMENTS]:
        print(f"skipped the canonicalise workloads of {', '.join(missing)}: absent from {DOCUMENTS_DIR}")
    check_contenders_agree()
    with tempfile.TemporaryDirectory() as scratch:
        results = args.results or (Path(scratch) if args.quick else BENCH / "results")
        results.mkdir(parents=True, exist_ok=True)
        timings = run_timings(settings, Path(scratch))
        memory_figures = run_memory(settings["size"])

        times = {name: figures["median_s"] for name, figures in timings.items()}
        memory = {(f["workload"], f["contender"]): f["bytes_per_item"] for f in memory_figures}
        verdicts = judge(times, memory)
        about = machine()
        print()
        print(tables(times, memory, verdicts, text_table))
        write_json(results / "latest.json", {
            "generated": datetime.now(timezone.utc).isoformat(timespec="seconds"),
            "quick": args.quick,
            "machine": about,
            "settings": settings,
            "timings": timings,
            "memory": memory_figures,
            "targets": [verdict.as_dict() for verdict in verdicts],
        })
        write_markdown(results / "latest.md", times, memory, verdicts, about)
        write_plot(results / "latest.png", times, memory)
        print(f"\nwrote {results}/latest.json, latest.md and latest.png")


if __name__ == "__main__":
    main()
