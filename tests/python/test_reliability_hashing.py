"""The hash tables are keyed from the operating system's random source once per process, so
crafted names cannot be chosen to collide: two processes list the same agents, migrations
and plan backends in different orders, also when the interpreter's own str hashes are the
same in both (PYTHONHASHSEED=0)."""

import json
import os
import subprocess
import sys

import pytest

# With this many names, two equal orders by chance would take about 1 in 2000! tries.
NAMES = 2000

CHILD = f"""
import json, orvel_mesh
mesh = orvel_mesh.OrvelMesh("app", json.dumps({{"app_name": "app",
    "backends": {{f"b{{i}}": {{"backend_type": "t"}} for i in range({NAMES})}}}}))
for i in range({NAMES}):
    mesh.register_agent("T", f"agent-{{i}}")
    mesh.start_migration(f"v{{i}}", "x", "y")
print(json.dumps([
    [entry["agent_id"] for entry in json.loads(mesh.list_agents())],
    [record["variable_name"] for record in json.loads(mesh.list_migrations())],
    list(json.loads(mesh.plan_json())["backends"]),
]))
"""


def listing_orders(environment):
    result = subprocess.run([sys.executable, "-c", CHILD], capture_output=True, text=True, check=True,
                            env={**os.environ, **environment})
    return json.loads(result.stdout)


@pytest.mark.parametrize("environment", [{}, {"PYTHONHASHSEED": "0"}], ids=["random", "interpreter_hash_fixed"])
def test_two_processes_list_the_same_names_in_different_orders(environment):
    first, second = listing_orders(environment), listing_orders(environment)
    for one, other in zip(first, second):
        assert sorted(one) == sorted(other) and len(one) == NAMES
        assert one != other
