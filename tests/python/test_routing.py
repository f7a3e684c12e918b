"""Routing a call to an agent: the checks in order, the descriptor, the status change."""

import json

import pytest


def descriptor(agent_id, agent_type, method):
    return json.dumps(
        {"agent_id": agent_id, "agent_type": agent_type, "method": method, "node": "localhost", "status": "routed"},
        separators=(",", ":"),
        ensure_ascii=False,
    )


def status_of(mesh, agent_id):
    return json.loads(mesh.get_agent(agent_id))["status"]


def test_descriptor_text(mesh):
    mesh.register_agent("Customer", "customer-123")
    text = mesh.route_agent_call("Customer", "customer-123", "m")
    assert text == (
        '{"agent_id":"customer-123","agent_type":"Customer","method":"m","node":"localhost","status":"routed"}'
    )


@pytest.mark.parametrize(
    "agent_type,agent_id,method",
    [
        ("Other", "a", "place_order"),
        ("", "a", ""),
        ('q"t', "a", "line\nbreak"),
        ("T", "a", "caf\u00e9\u0301"),
        ("T", "a", "\x1f\\"),
    ],
)
def test_descriptor_carries_the_callers_arguments(mesh, agent_type, agent_id, method):
    mesh.register_agent("T", agent_id)
    assert mesh.route_agent_call(agent_type, agent_id, method) == descriptor(agent_id, agent_type, method)


@pytest.mark.parametrize("args_json", ["{}", "[1,2]", "null", '  {"x": [1, {"y": 2}]} ', "3.5", '"text"'])
def test_any_json_value_is_accepted_as_arguments(mesh, args_json):
    mesh.register_agent("T", "a")
    assert mesh.route_agent_call("T", "a", "m", args_json) == descriptor("a", "T", "m")


def test_omitted_arguments_are_an_empty_object(mesh):
    mesh.register_agent("T", "a")
    assert mesh.route_agent_call("T", "a", "m") == mesh.route_agent_call("T", "a", "m", "{}")
    assert mesh.route_agent_call(agent_id="a", method="m", agent_type="T", args_json="{}") == descriptor("a", "T", "m")


@pytest.mark.parametrize("status", ["starting", "running", "idle", "stopping"])
def test_routing_marks_the_agent_running_and_renews_last_active(faulty_mesh, testing, status):
    faulty_mesh.register_agent("T", "a")
    faulty_mesh.update_agent_status("a", status)
    before = json.loads(faulty_mesh.get_agent("a"))
    testing.shift_clock(1000)
    faulty_mesh.route_agent_call("T", "a", "m")
    after = json.loads(faulty_mesh.get_agent("a"))
    assert after["status"] == "running"
    assert after["last_active"] != before["last_active"]
    assert after["registered_at"] == before["registered_at"]
    testing.shift_clock(2000)
    faulty_mesh.route_agent_call("T", "a", "m")
    assert json.loads(faulty_mesh.get_agent("a"))["last_active"] != after["last_active"]


@pytest.mark.parametrize("status", ["stopped", "error"])
def test_stopped_and_failed_agents_are_refused_like_missing_ones(faulty_mesh, testing, status):
    faulty_mesh.register_agent("T", "customer-123")
    faulty_mesh.update_agent_status("customer-123", status)
    before = faulty_mesh.get_agent("customer-123")
    testing.shift_clock(1000)
    with pytest.raises(KeyError) as raised:
        faulty_mesh.route_agent_call("Customer", "customer-123", "m")
    assert raised.value.args == ("Agent 'Customer/customer-123' not found in registry",)
    assert faulty_mesh.get_agent("customer-123") == before


def test_unregistered_agent(mesh):
    with pytest.raises(KeyError) as raised:
        mesh.route_agent_call("Customer", "customer-123", "m")
    assert raised.value.args == ("Agent 'Customer/customer-123' not found in registry",)


@pytest.mark.parametrize(
    "args_json,description",
    [
        ("", "EOF while parsing a value"),
        ("{", "EOF while parsing an object"),
        ("[1,]", "trailing comma"),
        ("{} {}", "trailing characters"),
        ("{'a':1}", "key must be a string"),
    ],
)
@pytest.mark.parametrize("registered_as", [None, "running", "stopped"])
def test_arguments_are_read_first(mesh, args_json, description, registered_as):
    if registered_as:
        mesh.register_agent("T", "a")
        mesh.update_agent_status("a", registered_as)
    with pytest.raises(ValueError) as raised:
        mesh.route_agent_call("T", "a", "m", args_json)
    assert raised.value.args[0].startswith(f"Serialization error: {description} at line 1 column ")
    if registered_as:
        assert status_of(mesh, "a") == registered_as


def test_routing_counts_in_the_snapshot(mesh):
    for agent_id in ["a", "b", "c"]:
        mesh.register_agent("T", agent_id)
    mesh.update_agent_status("b", "idle")
    mesh.route_agent_call("T", "a", "m")
    mesh.route_agent_call("T", "b", "m")
    assert json.loads(mesh.health_snapshot())["agents"] == {"error": 0, "idle": 0, "running": 2, "total": 3}


def test_poisoned_registry_refuses_routing_after_reading_arguments(faulty_mesh, testing):
    faulty_mesh.register_agent("T", "a")
    testing.inject_fault("registry.register")
    with pytest.raises(BaseException):
        faulty_mesh.register_agent("T", "b")
    with pytest.raises(ValueError):
        faulty_mesh.route_agent_call("T", "a", "m", "{")
    with pytest.raises(RuntimeError) as raised:
        faulty_mesh.route_agent_call("T", "missing", "m")
    assert raised.value.args == ("State error: registry lock poisoned",)


def test_a_fault_while_marking_running_poisons_the_registry(faulty_mesh, testing, expect_panic):
    faulty_mesh.register_agent("T", "a")
    testing.inject_fault("registry.set_status")
    with expect_panic():
        faulty_mesh.route_agent_call("T", "a", "m")
    with pytest.raises(RuntimeError) as refused:
        faulty_mesh.get_agent("a")
    assert refused.value.args == ("State error: registry lock poisoned",)
