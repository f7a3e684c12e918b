"""Faults injected at every site, across all four components at once: an abandoned change
poisons exactly its own component, on every one of its methods, while the other three
keep working and keep their data; an abandoned read poisons nothing."""

import json

import pytest

POISONED = {
    "registry": (RuntimeError, "State error: registry lock poisoned"),
    "state": (RuntimeError, "State error: state lock poisoned"),
    "migrations": (ValueError, "Migration error: lock poisoned"),
    "channels": (RuntimeError, "Channel error: channel lock poisoned"),
}

# Every method of each component, with arguments that work on a populated mesh, and a
# check of what each returns there.
CALLS = {
    "registry": [
        (lambda m: m.get_agent("a"), lambda r: json.loads(r)["status"] == "idle"),
        (lambda m: m.list_agents("T", "bogus"), lambda r: r == "[]"),
        (lambda m: m.register_agent("T", "new"), lambda r: json.loads(r)["agent_id"] == "new"),
        (lambda m: m.update_agent_status("a", "stopping"), lambda r: r is None),
        (lambda m: m.route_agent_call("T", "a", "m"), lambda r: json.loads(r)["status"] == "routed"),
        (lambda m: m.deregister_agent("never"), lambda r: r is None),
        (lambda m: m.list_agents(), lambda r: sorted(e["agent_id"] for e in json.loads(r)) == ["a", "new"]),
    ],
    "state": [
        (lambda m: m.state_get("k"), lambda r: r == '{"a":1}'),
        (lambda m: m.state_exists("k"), lambda r: r is True),
        (lambda m: m.state_set("j", "[2]"), lambda r: r is None),
        (lambda m: m.state_delete("never"), lambda r: r is None),
        (lambda m: m.state_keys(), lambda r: r == ["j", "k"]),
    ],
    "migrations": [
        (lambda m: m.get_migration("v"), lambda r: json.loads(r)["stage"] == 2),
        (lambda m: m.advance_migration("v", 1, 1), lambda r: json.loads(r)["stage"] == 3),
        (lambda m: m.rollback_migration("v"), lambda r: json.loads(r)["stage"] == 2),
        (lambda m: m.start_migration("w", "x", "y"), lambda r: json.loads(r)["stage"] == 1),
        (lambda m: m.list_migrations(), lambda r: sorted(s["variable_name"] for s in json.loads(r)) == ["v", "w"]),
    ],
    "channels": [
        (lambda m: m.publish("t", "1"), lambda r: r == 0),
        (lambda m: m.publish("new", "{}"), lambda r: r == 0),
    ],
}
# The counts once every call above has run on a healthy component.
COUNTS = {"registry": 2, "state": 2, "migrations": 2, "channels": 2}

# site, component, whether it is reached holding the component's lock exclusively, trigger
SITES = [
    ("registry.register", "registry", True, lambda m: m.register_agent("T", "b")),
    ("registry.deregister", "registry", True, lambda m: m.deregister_agent("a")),
    ("registry.set_status", "registry", True, lambda m: m.update_agent_status("a", "error")),
    ("registry.set_status", "registry", True, lambda m: m.route_agent_call("T", "a", "m")),
    ("registry.get", "registry", False, lambda m: m.get_agent("a")),
    ("state.set", "state", True, lambda m: m.state_set("k", "2")),
    ("state.remove", "state", True, lambda m: m.state_delete("k")),
    ("state.get", "state", False, lambda m: m.state_get("k")),
    ("migrations.start", "migrations", True, lambda m: m.start_migration("w", "x", "y")),
    ("migrations.advance", "migrations", True, lambda m: m.advance_migration("v")),
    ("migrations.rollback", "migrations", True, lambda m: m.rollback_migration("v")),
    ("migrations.get", "migrations", False, lambda m: m.get_migration("v")),
    ("channels.publish", "channels", True, lambda m: m.publish("t", "2")),
]


def populate(mesh):
    mesh.register_agent("T", "a")
    mesh.update_agent_status("a", "idle")
    mesh.state_set("k", '{"a": 1}')
    mesh.start_migration("v", "x", "y")
    mesh.advance_migration("v")
    mesh.publish("t", "1")


def inject(testing, mesh, site, trigger):
    testing.inject_fault(site)
    try:
        trigger(mesh)
    except Exception as caught:
        pytest.fail(f"`except Exception` caught {caught!r}")
    except BaseException as raised:  # noqa: B036 - this is what is tested
        assert type(raised).__name__ == "PanicException"
        assert raised.args == (f"injected fault at {site}",)
    else:
        pytest.fail(f"no fault surfaced at {site}")


def snapshot_counts(mesh):
    snapshot = json.loads(mesh.health_snapshot())
    return {"registry": snapshot["agents"]["total"], "state": snapshot["state"]["keys"],
            "migrations": snapshot["migrations"]["active"], "channels": snapshot["channels"]["topics"]}


@pytest.mark.parametrize("site,component,exclusive,trigger", SITES,
                         ids=[f"{site}-{index}" for index, (site, *_) in enumerate(SITES)])
def test_a_fault_poisons_exactly_the_component_it_abandoned(faulty_mesh, testing, site, component, exclusive,
                                                            trigger):
    mesh = faulty_mesh
    populate(mesh)
    inject(testing, mesh, site, trigger)
    poisoned = {component} if exclusive else set()

    for name, calls in CALLS.items():
        for call, holds in calls:
            if name in poisoned:
                error, message = POISONED[name]
                with pytest.raises(error) as refused:
                    call(mesh)
                assert refused.value.args == (message,)
            else:
                assert holds(call(mesh)), (name, call.__code__.co_consts)

    counts = snapshot_counts(mesh)
    assert counts == {name: 0 if name in poisoned else COUNTS[name] for name in COUNTS}
    assert repr(mesh) == (f'OrvelMesh(app="myapp", agents={counts["registry"]}, state_keys={counts["state"]}, '
                          f'migrations={counts["migrations"]})')


def test_with_all_four_poisoned_each_keeps_its_own_error_and_the_mesh_still_reports(testing):
    mesh = testing.OrvelMesh("myapp", '{"app_name":"shop","functions":["f"]}')
    populate(mesh)
    for site in ("registry.register", "state.set", "migrations.advance", "channels.publish"):
        _, _, _, trigger = next(entry for entry in SITES if entry[0] == site)
        inject(testing, mesh, site, trigger)

    for name, calls in CALLS.items():
        error, message = POISONED[name]
        for call, _ in calls:
            with pytest.raises(error) as refused:
                call(mesh)
            assert refused.value.args == (message,)
    assert snapshot_counts(mesh) == dict.fromkeys(COUNTS, 0)
    assert repr(mesh) == 'OrvelMesh(app="shop", agents=0, state_keys=0, migrations=0)'
    assert mesh.app_name == "shop"
    assert json.loads(mesh.plan_json()) == {"app_name": "shop", "backends": {}, "functions": ["f"], "agents": []}
