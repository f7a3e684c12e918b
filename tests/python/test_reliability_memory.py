"""Running out of memory: each call runs in a child process under an address-space limit set a
little above what the child already uses, raised step by step until the call succeeds. Every
step must end in MemoryError or success, never a signal, and after a MemoryError the
component must read back exactly as before (a poisoned one would refuse to be read).

The limit cannot be used under AddressSanitizer, which reserves terabytes of address space."""

import json
import os
import resource
import subprocess
import sys

import pytest

# Large enough that each copy of it is an allocation of its own, in its own mapping.
BIG = "v" * (8 << 20)
PLAN = json.dumps({"app_name": BIG, "backends": {BIG: {"backend_type": BIG, "config": [BIG]}}, "functions": [BIG]})
MIGRATIONS = 50_000
# Headroom above current use: finely where small allocations fail, then in steps shorter
# than one copy of BIG.
HEADROOMS = [0, 1 << 16, 1 << 18, 1 << 20, *range(2 << 20, 400 << 20, 3 << 20)]


def with_agent(status):
    def setup(mesh):
        mesh.register_agent("T", BIG)
        mesh.update_agent_status(BIG, status)
    return setup


def with_migration(advances):
    def setup(mesh):
        mesh.start_migration(BIG, "x", "y")
        for _ in range(advances):
            mesh.advance_migration(BIG)
    return setup


def many_migrations(mesh):
    for i in range(MIGRATIONS):
        mesh.start_migration(f"v{i}", "x", "y")


def nothing(mesh):
    pass


def agents(mesh):
    return repr(mesh), mesh.get_agent(BIG), mesh.list_agents(status="running")


def migrations(mesh):
    return repr(mesh), mesh.get_migration(BIG), mesh.get_migration("v1")


def state(mesh):
    return repr(mesh), mesh.state_keys(), mesh.state_get(BIG)


# name: (application name, setup, call, what must read back unchanged after MemoryError)
CASES = {
    "register_agent": ("app", nothing, lambda m: m.register_agent("T", BIG, 1, '{"a":1}'), agents),
    "route_agent_call": ("app", with_agent("idle"), lambda m: m.route_agent_call("T", BIG, "m"), agents),
    "start_migration": ("app", nothing, lambda m: m.start_migration(BIG, "x", "y"), migrations),
    "restart_migration": ("app", with_migration(5), lambda m: m.start_migration(BIG, "x", "y"), migrations),
    "advance_migration": ("app", with_migration(0), lambda m: m.advance_migration(BIG, 1, 1), migrations),
    "rollback_migration": ("app", with_migration(1), lambda m: m.rollback_migration(BIG), migrations),
    "get_migration": ("app", with_migration(0), lambda m: m.get_migration(BIG), migrations),
    "list_migrations": ("app", many_migrations, lambda m: m.list_migrations(), migrations),
    "state_set": ("app", lambda m: m.state_set("k", "1"), lambda m: m.state_set(BIG, "[1]"), state),
    "publish": ("app", nothing, lambda m: m.publish(BIG, "1"), lambda m: m.health_snapshot()),
    "health_snapshot": (BIG, nothing, lambda m: m.health_snapshot(), lambda m: m.health_snapshot()),
    "construct": ("app", nothing, lambda m: type(m)(BIG, PLAN).plan_json(), repr),
}


def address_space():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[0]) * os.sysconf("SC_PAGE_SIZE")


def sweep(name):
    """In the child: the number of MemoryErrors before the call succeeded."""
    import orvel_mesh

    app_name, setup, call, readback = CASES[name]
    mesh = orvel_mesh.OrvelMesh(app_name)
    setup(mesh)
    before = readback(mesh)
    soft, hard = resource.getrlimit(resource.RLIMIT_AS)
    memory_errors = 0
    for headroom in HEADROOMS:
        resource.setrlimit(resource.RLIMIT_AS, (address_space() + headroom, hard))
        try:
            call(mesh)
        except MemoryError:
            failed = True
        else:
            failed = False
        finally:
            resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
        if not failed:
            return memory_errors
        memory_errors += 1
        assert readback(mesh) == before, f"changed by a call that ran out of memory at {headroom} bytes headroom"
    raise AssertionError(f"still out of memory with {HEADROOMS[-1]} bytes headroom")


@pytest.mark.skipif(bool(os.environ.get("ORVEL_MESH_SANITIZED")), reason="AddressSanitizer needs unlimited address space")
@pytest.mark.parametrize("name", CASES)
def test_out_of_memory_is_a_memory_error_that_changed_nothing(name):
    # Large blocks always mapped afresh: a freed one kept in the heap would serve the next
    # copy of BIG without asking for address space.
    environment = {**os.environ, "MALLOC_MMAP_THRESHOLD_": str(128 << 10)}
    child = subprocess.run([sys.executable, __file__, name], capture_output=True, text=True, timeout=600,
                           env=environment)
    assert child.returncode == 0, f"exit code {child.returncode}: {child.stderr[-3000:]}"
    # The sweep must have reached the call's failure paths to prove anything.
    assert json.loads(child.stdout)["memory_errors"] > 0


if __name__ == "__main__":
    print(json.dumps({"memory_errors": sweep(sys.argv[1])}))
