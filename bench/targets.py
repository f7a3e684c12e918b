"""The targets the suite must show, judged on one run's figures.

`times` maps "workload/contender" to seconds per call; `memory` maps (workload, contender)
to resident bytes per item; `instructions` maps "workload/contender" to instructions per
call (bench/instructions.py), and is empty when they could not be counted.
"""

from dataclasses import asdict, dataclass

from cases import DOCUMENTS, FLOOR, MESH, ORJSON, REFERENCE, RELEASE, WORKLOADS


@dataclass(frozen=True)
class Verdict:
    workload: str
    measure: str
    value: float
    bound: float
    at_most: bool  # whether `value` must stay at or below `bound` (else at or above)

    @property
    def met(self):
        return self.value <= self.bound if self.at_most else self.value >= self.bound

    @property
    def target(self):
        return f"{'<=' if self.at_most else '>='} {self.bound:g}"

    def as_dict(self):
        return {**asdict(self), "target": self.target, "met": self.met}


def small_call_verdicts(times, instructions):
    """Calls without JSON are judged by their instructions against the C builtin doing the
    same lookup and against the plain-Python reference; calls with JSON by their time."""
    verdicts = []
    for workload in WORKLOADS:
        if not workload.name.startswith("small/"):
            continue
        if workload.call is None:
            verdicts.append(Verdict(workload.name, "time / stdlib reference's",
                                    times[f"{workload.name}/{MESH}"] / times[f"{workload.name}/{REFERENCE}"], 0.5,
                                    True))
        elif f"{workload.name}/{MESH}" in instructions:
            ours = instructions[f"{workload.name}/{MESH}"]
            verdicts.append(Verdict(workload.name, "instructions / C builtin floor's",
                                    ours / instructions[f"{workload.name}/{FLOOR}"], 1.5, True))
            verdicts.append(Verdict(workload.name, "instructions / plain-Python reference's",
                                    ours / instructions[f"{workload.name}/{REFERENCE}"], 1.0, True))
    return verdicts


def judge(times, memory, instructions):
    def time(workload, contender):
        return times[f"{workload}/{contender}"]

    verdicts = []
    for document in DOCUMENTS:
        workload = f"canonicalise/{document}"
        verdicts.append(Verdict(workload, "stdlib reference's time / ours",
                                time(workload, REFERENCE) / time(workload, MESH), 5.0, False))
    verdicts += small_call_verdicts(times, instructions)
    listing = "state_keys/10_of_many"
    verdicts.append(Verdict(listing, "stdlib reference's time / ours",
                            time(listing, REFERENCE) / time(listing, MESH), 1000.0, False))
    for workload, bound in (("agents", 0.3), ("state", 0.45)):
        verdicts.append(Verdict(f"memory/{workload}", "bytes per item / stdlib reference's",
                                memory[(workload, MESH)] / memory[(workload, REFERENCE)], bound, True))
    verdicts.append(Verdict("memory/topics", "bytes per topic", memory[("topics", MESH)], 128.0, True))
    # The release build may not cost more than 5% on any workload against the GCC build:
    # in instructions where they were counted (the calls without JSON, whose times of some
    # twenty nanoseconds move by more than that on a shared machine), else in time.
    for workload in WORKLOADS:
        counted = instructions.get(f"{workload.name}/{RELEASE}")
        if counted is not None:
            verdicts.append(Verdict(workload.name, "release instructions / GCC build's",
                                    counted / instructions[f"{workload.name}/{MESH}"], 1.05, True))
        elif f"{workload.name}/{RELEASE}" in times:
            verdicts.append(Verdict(workload.name, "release time / GCC build's",
                                    time(workload.name, RELEASE) / time(workload.name, MESH), 1.05, True))
    return verdicts


def judge_json(times, throughput):
    """The JSON targets: per document, the round trip through Python against orjson's, and
    the C++ reading against simdjson's parse and minify (when it was measured)."""
    verdicts = []
    for document in DOCUMENTS:
        workload = f"canonicalise/{document}"
        verdicts.append(Verdict(workload, "orjson reference's time / ours",
                                times[f"{workload}/{ORJSON}"] / times[f"{workload}/{MESH}"], 2.0, False))
    for document, figures in throughput.items():
        if figures["simdjson_mb_s"] is not None:
            verdicts.append(Verdict(f"json_throughput/{document}", "our MB/s / simdjson parse+minify's",
                                    figures["canonical_mb_s"] / figures["simdjson_mb_s"], 0.8, False))
    return verdicts
