"""Publishes once to each of a million distinct topics and reports the resident memory
each topic costs the mesh, and the time per publish.

    PYTHONPATH=build/<dir> python3 bench/topics_memory.py [COUNT]
"""

import os
import sys
import time

import orvel_mesh

PAGE_SIZE = os.sysconf("SC_PAGE_SIZE")


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * PAGE_SIZE


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
    mesh = orvel_mesh.OrvelMesh("bench")
    # Names are made first, so their Python strings are not counted as the mesh's.
    names = [f"topic-{serial:07d}" for serial in range(count)]
    before = resident_bytes()

    publish = mesh.publish
    start_cpu = time.process_time()
    for name in names:
        publish(name, '{"n":1}')
    cpu = time.process_time() - start_cpu
    after = resident_bytes()

    print(f"publish to {count} new topics     {cpu:7.3f} s cpu {cpu / count * 1e9:7.0f} ns cpu/publish")
    print(f"resident memory per topic        {(after - before) / count:7.1f} bytes")

    start_cpu = time.process_time()
    for name in names:
        publish(name, '{"n":2}')
    cpu = time.process_time() - start_cpu
    print(f"publish to existing topics       {cpu:7.3f} s cpu {cpu / count * 1e9:7.0f} ns cpu/publish")
    print(mesh.health_snapshot())


if __name__ == "__main__":
    main()
