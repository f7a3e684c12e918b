"""Registers a million agents and reports the time taken and the resident memory
each agent costs the mesh.

    PYTHONPATH=build/<dir> python3 bench/agents_scale.py [COUNT]
"""

import os
import sys
import time

import orvel_mesh

PAGE_SIZE = os.sysconf("SC_PAGE_SIZE")


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * PAGE_SIZE


def timed(label, action, count):
    # CPU time as well: on a shared machine the wall clock also counts other processes.
    start, start_cpu = time.perf_counter(), time.process_time()
    result = action()
    elapsed, cpu = time.perf_counter() - start, time.process_time() - start_cpu
    print(f"{label:<30} {elapsed:7.3f} s wall {cpu:7.3f} s cpu {cpu / count * 1e9:7.0f} ns cpu/agent")
    return result


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
    mesh = orvel_mesh.OrvelMesh("bench")
    # Identities are made first, so their Python strings are not counted as the mesh's.
    ids = [f"agent-{serial:07d}" for serial in range(count)]
    before = resident_bytes()

    def register_all():
        register = mesh.register_agent
        for agent_id in ids:
            register("Worker", agent_id)

    timed(f"register {count} agents", register_all, count)
    after = resident_bytes()
    print(f"resident memory per agent      {(after - before) / count:8.1f} bytes")

    timed("health_snapshot x 1000", lambda: [mesh.health_snapshot() for _ in range(1000)], 1000)
    timed("update_agent_status (each)", lambda: [mesh.update_agent_status(i, "idle") for i in ids], count)
    timed("route_agent_call (each)", lambda: [mesh.route_agent_call("Worker", i, "m") for i in ids], count)
    listed = timed("list_agents (whole table)", mesh.list_agents, count)
    print(f"list_agents text               {len(listed) / 1e6:8.1f} MB")
    del listed
    timed("deregister_agent (each)", lambda: [mesh.deregister_agent(i) for i in ids], count)
    print(mesh)


if __name__ == "__main__":
    main()
