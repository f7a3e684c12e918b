"""The targets the suite must show, judged on one run's figures.

`times` maps "workload/contender" to seconds per call; `memory` maps (workload, contender)
to resident bytes per item.
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


def judge(times, memory):
    def time(workload, contender):
        return times[f"{workload}/{contender}"]

    verdicts = []
    for document in DOCUMENTS:
        workload = f"canonicalise/{document}"
        verdicts.append(Verdict(workload, "time / orjson reference's", time(workload, MESH) / time(workload, ORJSON),
                                1.0, True))
        verdicts.append(Verdict(workload, "stdlib reference's time / ours",
                                time(workload, REFERENCE) / time(workload, MESH), 5.0, False))
    for workload in WORKLOADS:
        if not workload.name.startswith("small/"):
            continue
        verdicts.append(Verdict(workload.name, "time / stdlib reference's",
                                time(workload.name, MESH) / time(workload.name, REFERENCE), 0.5, True))
        if workload.json_free:
            verdicts.append(Verdict(workload.name, "time / C builtin floor's",
                                    time(workload.name, MESH) / time(workload.name, FLOOR), 3.0, True))
    listing = "state_keys/10_of_many"
    verdicts.append(Verdict(listing, "stdlib reference's time / ours",
                            time(listing, REFERENCE) / time(listing, MESH), 1000.0, False))
    for workload in ("agents", "state"):
        verdicts.append(Verdict(f"memory/{workload}", "bytes per item / stdlib reference's",
                                memory[(workload, MESH)] / memory[(workload, REFERENCE)], 0.5, True))
    verdicts.append(Verdict("memory/topics", "bytes per topic", memory[("topics", MESH)], 256.0, True))
    # The release build may not cost more than 5% on any workload against the GCC build.
    for workload in WORKLOADS:
        if f"{workload.name}/{RELEASE}" in times:
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
