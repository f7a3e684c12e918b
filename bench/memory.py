"""Resident memory and CPU time per item of one contender filled with COUNT items, in a
fresh process so nothing measured before can be reused by the allocator. Prints one JSON
object.

    python bench/memory.py CONTENDER {agents|state|topics} COUNT

The resident set is read, not tracemalloc, which sees only Python's own allocations.
Names and texts are made inside the loop: what a contender keeps of them is its cost,
what it lets go is not.
"""

import gc
import json
import os
import sys
from time import process_time

from cases import new_contender, state_key

PAGE_SIZE = os.sysconf("SC_PAGE_SIZE")


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * PAGE_SIZE


def agent_id(serial):
    return f"agent-{serial:07d}"


def fill_agents(mesh, count):
    register = mesh.register_agent
    for serial in range(count):
        register("Worker", agent_id(serial), 0, f'{{"region":"eu-{serial % 4}","slot":{serial % 100}}}')


def fill_state(mesh, count):
    state_set = mesh.state_set
    for serial in range(count):
        state_set(state_key(serial), f'{{"n":{serial}}}')


def fill_topics(mesh, count):
    publish = mesh.publish
    for serial in range(count):
        publish(f"topic-{serial:07d}", '{"n":1}')


def per_item_cpu(action, count):
    start = process_time()
    action()
    return (process_time() - start) / count * 1e9


def agent_operations(mesh, count):
    """CPU ns per agent of the operations on a full registry."""
    ids = [agent_id(serial) for serial in range(count)]
    return {
        "update_agent_status_ns": per_item_cpu(lambda: [mesh.update_agent_status(i, "idle") for i in ids], count),
        "route_agent_call_ns": per_item_cpu(lambda: [mesh.route_agent_call("Worker", i, "m") for i in ids], count),
        "get_agent_ns": per_item_cpu(lambda: [mesh.get_agent(i) for i in ids], count),
        "list_agents_ns": per_item_cpu(mesh.list_agents, count),
        "deregister_agent_ns": per_item_cpu(lambda: [mesh.deregister_agent(i) for i in ids], count),
    }


FILLS = {"agents": fill_agents, "state": fill_state, "topics": fill_topics}


def measure(contender, workload, count):
    mesh = new_contender(contender)
    fill = FILLS[workload]
    gc.collect()
    before = resident_bytes()
    fill_ns = per_item_cpu(lambda: fill(mesh, count), count)
    gc.collect()
    after = resident_bytes()
    figures = {
        "contender": contender,
        "workload": workload,
        "count": count,
        "bytes_per_item": (after - before) / count,
        "fill_ns": fill_ns,
    }
    if workload == "agents":
        figures.update(agent_operations(mesh, count))
    return figures


if __name__ == "__main__":
    print(json.dumps(measure(sys.argv[1], sys.argv[2], int(sys.argv[3]))))
