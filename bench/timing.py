"""Per-call times of every case, measured by pyperf: each case runs in several fresh worker
processes, each calibrating its loop count, warming up and then taking several values.

    python bench/timing.py -o OUT.json [--size N] [--only CONTENDER] [--workload NAME] [pyperf options]

Times are CPU time: on a shared machine the wall clock also counts other processes.
"""

import pyperf

from cases import case_names

prepared = {}


def time_case(loops, workload, contender, size):
    # Workers run this whole script; only the case they were given is ever prepared.
    key = (workload.name, contender)
    if key not in prepared:
        prepared[key] = workload.prepare(contender, size)
    return prepared[key](loops)


def add_worker_args(command, args):
    command.extend(("--size", str(args.size)))
    if args.only:
        command.extend(("--only", args.only))
    if args.workload:
        command.extend(("--workload", args.workload))


def main():
    runner = pyperf.Runner(add_cmdline_args=add_worker_args)
    runner.argparser.add_argument("--size", type=int, default=1_000_000,
                                  help="state keys stored for the prefix listing")
    runner.argparser.add_argument("--only", help="time this contender's cases alone")
    runner.argparser.add_argument("--workload", help="time this workload's cases alone")
    args = runner.parse_args()
    for workload, contender in case_names():
        if (args.only and contender != args.only) or (args.workload and workload.name != args.workload):
            continue
        runner.bench_time_func(f"{workload.name}/{contender}", time_case, workload, contender, args.size,
                               inner_loops=workload.inner)


if __name__ == "__main__":
    main()
