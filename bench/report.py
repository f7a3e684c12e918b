"""The run's figures as a printed table, a markdown table, raw JSON and a plot."""

import json

from cases import CONTENDERS, FLOOR, MESH, ORJSON, REFERENCE, RELEASE, WORKLOADS
from instructions import EMPTY_LAMBDA, counted_workloads

MEMORY_WORKLOADS = ("agents", "state", "topics")
MEMORY_CONTENDERS = (MESH, REFERENCE, ORJSON)
# The tables' columns: the release build's figures, when measured, beside the GCC build's.
TIME_COLUMNS = (MESH, RELEASE, *CONTENDERS[1:])
MEMORY_COLUMNS = (MESH, RELEASE, *MEMORY_CONTENDERS[1:])
INSTRUCTION_COLUMNS = (MESH, RELEASE, FLOOR, REFERENCE)
COLOURS = {MESH: "tab:blue", REFERENCE: "tab:orange", ORJSON: "tab:green", "floor": "tab:grey"}


def format_time(seconds):
    if seconds is None:
        return ""
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("us", 1e-6)):
        if seconds >= scale:
            return f"{seconds / scale:.3g} {unit}"
    return f"{seconds * 1e9:.3g} ns"


def time_rows(times):
    return [[workload.name, *(format_time(times.get(f"{workload.name}/{contender}")) for contender in TIME_COLUMNS)]
            for workload in WORKLOADS]


def memory_rows(memory):
    return [[f"memory/{workload}", *(f"{memory[(workload, contender)]:.0f} B" if (workload, contender) in memory
                                     else "" for contender in MEMORY_COLUMNS)]
            for workload in MEMORY_WORKLOADS]


def instruction_rows(instructions):
    rows = [[workload.name, *(f"{instructions[key]:.0f}" if (key := f"{workload.name}/{contender}") in instructions
                              else "" for contender in INSTRUCTION_COLUMNS)]
            for workload in counted_workloads()]
    empty = instructions.get(f"small/{EMPTY_LAMBDA}/{EMPTY_LAMBDA}")
    if empty is not None:
        rows.append(["(an empty lambda's call, for scale)", f"{empty:.0f}", "", "", ""])
    return rows


def verdict_rows(verdicts):
    return [[v.workload, v.measure, f"{v.value:.3g}", v.target, "met" if v.met else "MISSED"] for v in verdicts]


TIME_HEADER = ["workload (time per call)", *TIME_COLUMNS]
MEMORY_HEADER = ["workload (resident per item)", *MEMORY_COLUMNS]
INSTRUCTION_HEADER = ["workload (instructions per call)", *INSTRUCTION_COLUMNS]
VERDICT_HEADER = ["workload", "ratio", "measured", "target", ""]


def text_table(header, rows):
    widths = [max(len(str(cell)) for cell in column) for column in zip(header, *rows)]
    lines = ["  ".join(str(cell).ljust(width) for cell, width in zip(line, widths)).rstrip()
             for line in (header, *rows)]
    lines.insert(1, "  ".join("-" * width for width in widths))
    return "\n".join(lines)


def markdown_table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(str(cell) for cell in row) + " |" for row in rows]
    return "\n".join(lines)


def tables(times, memory, instructions, verdicts, render):
    return "\n\n".join((
        render(VERDICT_HEADER, verdict_rows(verdicts)),
        render(TIME_HEADER, time_rows(times)),
        *((render(INSTRUCTION_HEADER, instruction_rows(instructions)),) if instructions else ()),
        render(MEMORY_HEADER, memory_rows(memory)),
    ))


def write_markdown(path, times, memory, instructions, verdicts, machine):
    met = sum(v.met for v in verdicts)
    path.write_text(
        f"Targets met: {met} of {len(verdicts)}. Times are the median CPU time per call over "
        f"all pyperf values; memory is the growth of the resident set per item, one fresh "
        f"process per contender. The calls that take and give no JSON text are judged by the "
        f"instructions a call costs its caller (callgrind, above an empty loop), against the C "
        f"builtin doing the same lookup on a dict (the floor) and the plain-Python reference. "
        f"Machine: {machine['cpu']}, Python {machine['python']}.\n\n"
        + tables(times, memory, instructions, verdicts, markdown_table) + "\n",
        encoding="utf-8")


def write_json(path, raw):
    path.write_text(json.dumps(raw, indent=1) + "\n", encoding="utf-8")


def write_plot(path, times, memory):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    timed = [workload.name for workload in WORKLOADS]
    shown = (MESH, ORJSON, "floor")
    figure, (speed, space) = plt.subplots(1, 2, figsize=(13, 6), gridspec_kw={"width_ratios": [3, 1.3]})
    height = 0.8 / len(shown)
    for offset, contender in enumerate(shown):
        ratios = [times.get(f"{name}/{contender}", 0) / times[f"{name}/{REFERENCE}"] for name in timed]
        speed.barh([row + offset * height for row in range(len(timed))], ratios, height, label=contender,
                    color=COLOURS[contender])
    speed.axvline(1.0, color="black", linewidth=0.8)
    speed.set_xscale("log")
    speed.set_yticks([row + height for row in range(len(timed))], timed)
    speed.invert_yaxis()
    speed.set_xlabel("time per call / the stdlib reference's (log; shorter is faster)")
    speed.legend(loc="lower right")

    width = 0.8 / len(MEMORY_CONTENDERS)
    for offset, contender in enumerate(MEMORY_CONTENDERS):
        space.bar([column + offset * width for column in range(len(MEMORY_WORKLOADS))],
                  [memory[(workload, contender)] for workload in MEMORY_WORKLOADS], width, label=contender,
                  color=COLOURS[contender])
    space.axhline(256, color="black", linestyle="--", linewidth=0.8, label="topic target")
    space.set_xticks([column + width for column in range(len(MEMORY_WORKLOADS))], MEMORY_WORKLOADS)
    space.set_ylabel("resident bytes per item (1,000,000 items)")
    space.legend()
    figure.tight_layout()
    figure.savefig(path, dpi=100)
    plt.close(figure)
