"""The health snapshot and the representation of a mesh."""

import json

import pytest

import orvel_mesh


def fresh_snapshot(app):
    return ('{"agents":{"error":0,"idle":0,"running":0,"total":0},"app":' + app +
            ',"channels":{"topics":0},"migrations":{"active":0},"state":{"keys":0},"status":"ok"}')


def test_new_mesh(mesh):
    assert mesh.health_snapshot() == fresh_snapshot('"myapp"')
    assert repr(mesh) == 'OrvelMesh(app="myapp", agents=0, state_keys=0, migrations=0)'


@pytest.mark.parametrize("app,in_json,in_repr", [
    ('a"b', '"a\\"b"', '"a\\"b"'),
    ("back\\slash", '"back\\\\slash"', '"back\\\\slash"'),
    ("tab\there", '"tab\\there"', '"tab\\there"'),
    ("line\nbreak\r", '"line\\nbreak\\r"', '"line\\nbreak\\r"'),
    ("nul\x00", '"nul\\u0000"', '"nul\\0"'),
    ("bell\x07", '"bell\\u0007"', '"bell\\u{7}"'),
    ("del\x7f", '"del\x7f"', '"del\\u{7f}"'),
    ("caf\u00e9", '"caf\u00e9"', '"caf\u00e9"'),
    ("cafe\u0301", '"cafe\u0301"', '"cafe\\u{301}"'),
    ("", '""', '""'),
])
def test_application_name_forms(app, in_json, in_repr):
    mesh = orvel_mesh.OrvelMesh(app)
    assert mesh.health_snapshot() == fresh_snapshot(in_json)
    assert json.loads(mesh.health_snapshot())["app"] == app
    assert repr(mesh) == f"OrvelMesh(app={in_repr}, agents=0, state_keys=0, migrations=0)"


def counts(mesh):
    snapshot = json.loads(mesh.health_snapshot())
    return snapshot["agents"], snapshot["state"]["keys"], snapshot["migrations"]["active"], snapshot["channels"]["topics"]


def test_agent_counts_by_status(mesh):
    mesh.register_agent("T", "a")
    mesh.register_agent("T", "b")
    assert counts(mesh)[0] == {"error": 0, "idle": 0, "running": 0, "total": 2}
    mesh.update_agent_status("a", "running")
    assert counts(mesh)[0] == {"error": 0, "idle": 0, "running": 1, "total": 2}
    mesh.update_agent_status("b", "stopped")
    assert counts(mesh)[0] == {"error": 0, "idle": 0, "running": 1, "total": 2}
    for status, member in [("idle", "idle"), ("error", "error")]:
        mesh.update_agent_status("b", status)
        assert counts(mesh)[0][member] == 1
    mesh.deregister_agent("a")
    assert counts(mesh)[0] == {"error": 1, "idle": 0, "running": 0, "total": 1}


def test_component_counts_follow_operations(mesh):
    mesh.state_set("a", "1")
    mesh.state_set("b", "2")
    mesh.state_set("a", "3")
    assert counts(mesh)[1] == 2
    mesh.state_delete("a")
    assert counts(mesh)[1] == 1

    mesh.start_migration("m", "x", "y")
    assert counts(mesh)[2] == 1
    for _ in range(5):
        mesh.advance_migration("m")
    assert counts(mesh)[2] == 0
    mesh.start_migration("r", "x", "y")
    mesh.rollback_migration("r")
    assert counts(mesh)[2] == 1

    for index in range(10):
        mesh.publish(["p", "q", "r"][index % 3], "{}")
    with pytest.raises(ValueError):
        mesh.publish("s", "{")
    assert counts(mesh)[3] == 3


def test_snapshot_changes_nothing(mesh):
    mesh.register_agent("T", "a")
    mesh.start_migration("m", "x", "y")
    before = (mesh.get_agent("a"), mesh.get_migration("m"))
    first = mesh.health_snapshot()
    assert mesh.health_snapshot() == first
    repr(mesh)
    assert (mesh.get_agent("a"), mesh.get_migration("m")) == before


def test_representation_after_operations(mesh):
    mesh.register_agent("T", "a")
    mesh.register_agent("T", "b")
    mesh.state_set("k", "{}")
    mesh.start_migration("m", "x", "y")
    for _ in range(5):
        mesh.advance_migration("m")
    mesh.publish("t", "1")
    assert repr(mesh) == 'OrvelMesh(app="myapp", agents=2, state_keys=1, migrations=0)'
    assert mesh.health_snapshot() == (
        '{"agents":{"error":0,"idle":0,"running":0,"total":2},"app":"myapp","channels":{"topics":1},'
        '"migrations":{"active":0},"state":{"keys":1},"status":"ok"}')


def populate(mesh):
    mesh.register_agent("T", "a")
    mesh.update_agent_status("a", "idle")
    mesh.state_set("k", "1")
    mesh.start_migration("v", "x", "y")
    mesh.publish("t", "1")


POISONINGS = {
    "registry": ("registry.register", lambda mesh: mesh.register_agent("T", "b")),
    "state": ("state.set", lambda mesh: mesh.state_set("k", "2")),
    "migrations": ("migrations.advance", lambda mesh: mesh.advance_migration("v")),
    "channels": ("channels.publish", lambda mesh: mesh.publish("t", "2")),
}


@pytest.mark.parametrize("component", list(POISONINGS))
def test_a_poisoned_component_reads_zero(faulty_mesh, testing, component, expect_panic):
    mesh = faulty_mesh
    populate(mesh)
    site, poison = POISONINGS[component]
    testing.inject_fault(site)
    with expect_panic():
        poison(mesh)

    agents = {"error": 0, "idle": 0, "running": 0, "total": 0} if component == "registry" else \
        {"error": 0, "idle": 1, "running": 0, "total": 1}
    expected = {
        "agents": agents,
        "app": "myapp",
        "channels": {"topics": 0 if component == "channels" else 1},
        "migrations": {"active": 0 if component == "migrations" else 1},
        "state": {"keys": 0 if component == "state" else 1},
        "status": "ok",
    }
    assert mesh.health_snapshot() == json.dumps(expected, separators=(",", ":"))
    assert repr(mesh) == (f'OrvelMesh(app="myapp", agents={agents["total"]}, '
                          f'state_keys={expected["state"]["keys"]}, migrations={expected["migrations"]["active"]})')
