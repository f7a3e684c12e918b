"""Every method, on its success path and on each of its error paths, called 100,000 times:
the interpreter's allocated blocks and the resident memory must not grow.

The loops run in one child process (this file run as a script), away from pytest's own
allocations; it prints one line of figures per case. Under the sanitizer build the
resident memory is not judged: freed memory sits in AddressSanitizer's quarantine, and
its leak checker watches the native side instead."""

import gc
import json
import os
import subprocess
import sys

import pytest

CALLS = 100_000
WARM_UP = 1_000
# A leak of one object per call shows as 100,000 blocks; these bounds are noise.
BLOCKS_NOISE = 100
RESIDENT_NOISE = 1 << 20


def plain(mesh_class):
    return mesh_class("myapp")


def with_agent(status="starting"):
    def setup(mesh_class):
        mesh = mesh_class("myapp")
        mesh.register_agent("T", "a")
        mesh.update_agent_status("a", status)
        return mesh
    return setup


def with_migration(stage):
    def setup(mesh_class):
        mesh = mesh_class("myapp")
        mesh.start_migration("v", "x", "y")
        for _ in range(1, stage):
            mesh.advance_migration("v")
        if stage == 0:
            mesh.rollback_migration("v")
        return mesh
    return setup


def with_key(mesh_class):
    mesh = mesh_class("myapp")
    mesh.state_set("k", '{"a":[1,2.5,"x"]}')
    return mesh


def poisoned(site, call):
    def setup(mesh_class, testing):
        mesh = testing.OrvelMesh("myapp")
        testing.inject_fault(site)
        try:
            call(mesh)
        except BaseException:  # noqa: B036 - PanicException is no Exception
            return mesh
        raise AssertionError(f"no fault at {site}")
    return setup


def cycle_migration(mesh):
    mesh.start_migration("v", "x", "y")
    for _ in range(5):
        mesh.advance_migration("v", 1, 2)


LONE = "\ud800"
# name: (setup, one step, exception the step raises or None)
CASES = {
    "construct": (plain, lambda m: type(m)("app", '{"app_name":"a","backends":{"d":["t",{"k":[1]}]}}'), None),
    "construct bad plan": (plain, lambda m: type(m)("app", '{"app_name":5}'), ValueError),
    "construct bad json": (plain, lambda m: type(m)("app", "[1,"), ValueError),
    "construct wrong type": (plain, lambda m: type(m)(5), TypeError),
    "construct surrogate": (plain, lambda m: type(m)(LONE), UnicodeEncodeError),
    "construct too many": (plain, lambda m: type(m)("a", "", 1), TypeError),
    "app_name": (plain, lambda m: m.app_name, None),
    "repr": (with_agent(), repr, None),
    "register and deregister": (plain, lambda m: (m.register_agent("T", "b", 3, '{"k":1}'), m.deregister_agent("b")),
                                None),
    "register duplicate": (with_agent(), lambda m: m.register_agent("T", "a"), RuntimeError),
    "register bad metadata": (plain, lambda m: m.register_agent("T", "b", metadata_json="{"), ValueError),
    "register instance overflow": (plain, lambda m: m.register_agent("T", "b", 2**32), OverflowError),
    "register negative instance": (plain, lambda m: m.register_agent("T", "b", -1), OverflowError),
    "register missing argument": (plain, lambda m: m.register_agent("T"), TypeError),
    "register unknown keyword": (plain, lambda m: m.register_agent("T", "b", colour=1), TypeError),
    "register twice the same argument": (plain, lambda m: m.register_agent("T", "b", agent_id="b"), TypeError),
    "register surrogate": (plain, lambda m: m.register_agent("T", LONE), UnicodeEncodeError),
    "update status": (with_agent(), lambda m: m.update_agent_status("a", "idle"), None),
    "update unknown status": (with_agent(), lambda m: m.update_agent_status("a", "Idle\x00"), ValueError),
    "update missing agent": (plain, lambda m: m.update_agent_status("b", "idle"), KeyError),
    "deregister missing": (plain, lambda m: m.deregister_agent("b"), None),
    "get agent": (with_agent(), lambda m: m.get_agent("a"), None),
    "get missing agent": (plain, lambda m: m.get_agent("b"), None),
    "get agent wrong type": (plain, lambda m: m.get_agent(None), TypeError),
    "list agents": (with_agent(), lambda m: m.list_agents("T", "starting"), None),
    "list agents too many": (plain, lambda m: m.list_agents(None, None, None), TypeError),
    "route": (with_agent(), lambda m: m.route_agent_call("T", "a", "m", '{"x":[1]}'), None),
    "route missing agent": (plain, lambda m: m.route_agent_call("T", "b", "m"), KeyError),
    "route stopped agent": (with_agent("stopped"), lambda m: m.route_agent_call("T", "a", "m"), KeyError),
    "route bad arguments": (with_agent(), lambda m: m.route_agent_call("T", "a", "m", "[1,]"), ValueError),
    "state set": (plain, lambda m: m.state_set("k", '{"b":[1,2.5e300,"\\u00e9"],"a":null}'), None),
    "state set bad json": (with_key, lambda m: m.state_set("k", '{"a":1,}'), ValueError),
    "state set too deep": (with_key, lambda m: m.state_set("k", "[" * 200), ValueError),
    "state get": (with_key, lambda m: m.state_get("k"), None),
    "state get missing": (plain, lambda m: m.state_get("k"), None),
    "state set and delete": (plain, lambda m: (m.state_set("j", "1"), m.state_delete("j")), None),
    "state exists": (with_key, lambda m: m.state_exists("k"), None),
    "state keys": (with_key, lambda m: m.state_keys("k"), None),
    "state keys none": (with_key, lambda m: m.state_keys(None), TypeError),
    "start, advance to done": (plain, cycle_migration, None),
    "start in progress": (with_migration(1), lambda m: m.start_migration("v", "x", "y"), ValueError),
    "advance missing": (plain, lambda m: m.advance_migration("w"), ValueError),
    "advance complete": (with_migration(6), lambda m: m.advance_migration("v"), ValueError),
    "advance overflow": (with_migration(1), lambda m: m.advance_migration("v", 2**64), OverflowError),
    "rollback and advance": (with_migration(2), lambda m: (m.rollback_migration("v"), m.advance_migration("v")),
                             None),
    "rollback at idle": (with_migration(0), lambda m: m.rollback_migration("v"), ValueError),
    "rollback complete": (with_migration(6), lambda m: m.rollback_migration("v"), ValueError),
    "get migration": (with_migration(3), lambda m: m.get_migration("v"), None),
    "list migrations": (with_migration(3), lambda m: m.list_migrations(), None),
    "list migrations with argument": (plain, lambda m: m.list_migrations(1), TypeError),
    "publish": (plain, lambda m: m.publish("t", '{"n":[1,2,3]}'), None),
    "publish bad payload": (plain, lambda m: m.publish("t", "1 2"), ValueError),
    "health snapshot": (with_agent(), lambda m: m.health_snapshot(), None),
    "plan json": (lambda c: c("a", '{"app_name":"a","functions":["f"]}'), lambda m: m.plan_json(), None),
}

# The fault-injection build: poisoned components, and faults themselves.
FAULT_CASES = {
    "poisoned registry": (poisoned("registry.register", lambda m: m.register_agent("T", "a")),
                          lambda m: m.list_agents(), RuntimeError),
    "poisoned state": (poisoned("state.set", lambda m: m.state_set("k", "1")),
                       lambda m: m.state_set("k", "[1]"), RuntimeError),
    "poisoned migrations": (poisoned("migrations.start", lambda m: m.start_migration("v", "x", "y")),
                            lambda m: m.get_migration("v"), ValueError),
    "poisoned channels": (poisoned("channels.publish", lambda m: m.publish("t", "1")),
                          lambda m: m.publish("t", "1"), RuntimeError),
    "fault in a read": ("read", "state.get", BaseException),
    "fault in a change": ("change", "state.set", BaseException),
}


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def measure(step, expected, calls):
    def loop(count):
        for _ in range(count):
            try:
                step()
            except BaseException as raised:  # noqa: B036 - PanicException included
                if expected is None or not isinstance(raised, expected):
                    raise
            else:
                assert expected is None, f"no {expected.__name__} raised"

    loop(WARM_UP)
    gc.collect()
    blocks, resident = sys.getallocatedblocks(), resident_bytes()
    loop(calls)
    gc.collect()
    return sys.getallocatedblocks() - blocks, resident_bytes() - resident


def fault_step(kind, site, testing):
    mesh = testing.OrvelMesh("myapp")
    mesh.state_set("k", "1")
    if kind == "read":
        def step():
            testing.inject_fault(site)
            mesh.state_get("k")
        return step

    def step():
        # An exclusive fault poisons its mesh for good, so each one gets a fresh mesh.
        fresh = testing.OrvelMesh("myapp")
        testing.inject_fault(site)
        fresh.state_set("k", "1")
    return step


def child(names, calls):
    import orvel_mesh
    sys.path.insert(0, os.environ["ORVEL_MESH_TESTING_DIR"])
    import orvel_mesh_testing as testing
    for name in names:
        if name in CASES:
            setup, step, expected = CASES[name]
            mesh = setup(orvel_mesh.OrvelMesh)
            grown = measure(lambda: step(mesh), expected, calls)
        else:
            setup, step, expected = FAULT_CASES[name]
            if isinstance(setup, str):
                grown = measure(fault_step(setup, step, testing), expected, calls)
            else:
                mesh = setup(orvel_mesh.OrvelMesh, testing)
                grown = measure(lambda: step(mesh), expected, calls)
        print(json.dumps([name, *grown]), flush=True)


@pytest.fixture(scope="module")
def growth():
    names = [*CASES, *FAULT_CASES]
    result = subprocess.run([sys.executable, __file__, str(CALLS), *names], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr[-3000:]
    figures = {name: (blocks, resident) for name, blocks, resident in map(json.loads, result.stdout.splitlines())}
    assert list(figures) == names
    return figures


@pytest.mark.parametrize("name", [*CASES, *FAULT_CASES])
def test_a_hundred_thousand_calls_keep_memory_flat(growth, name):
    blocks, resident = growth[name]
    assert blocks < BLOCKS_NOISE, f"{blocks} more allocated blocks after {CALLS} calls"
    if not os.environ.get("ORVEL_MESH_SANITIZED"):
        assert resident < RESIDENT_NOISE, f"{resident} more resident bytes after {CALLS} calls"


def test_a_leak_would_be_seen():
    # The same measurement on a step that keeps one object per call.
    kept = []
    blocks, _ = measure(lambda: kept.append(object()), None, 10_000)
    # The interpreter may free a stray block meanwhile: the leak shows, not to the block.
    assert blocks >= 10_000 - BLOCKS_NOISE


if __name__ == "__main__":
    child(sys.argv[2:], int(sys.argv[1]))
