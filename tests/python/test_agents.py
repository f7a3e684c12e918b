"""Agent records, statuses and the registry operations."""

import json
import re

import pytest

STATUSES = ["starting", "running", "idle", "stopping", "stopped", "error"]
MEMBERS = ["agent_id", "agent_type", "status", "instance", "registered_at", "last_active", "metadata"]
TIMESTAMP = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d{3}|\.\d{6}|\.\d{9})?\+00:00$")
POISONED = "State error: registry lock poisoned"


def record(text):
    return json.loads(text)


def agent(mesh, agent_id):
    return record(mesh.get_agent(agent_id))


def test_fresh_record_form(mesh):
    text = mesh.register_agent("Customer", "customer-123")
    entry = record(text)
    assert list(entry) == MEMBERS
    stamp = entry["registered_at"]
    assert TIMESTAMP.match(stamp)
    assert text == (
        '{"agent_id":"customer-123","agent_type":"Customer","status":"starting","instance":0,'
        f'"registered_at":"{stamp}","last_active":"{stamp}","metadata":{{}}}}'
    )
    assert mesh.get_agent("customer-123") == text


@pytest.mark.parametrize(
    "given,written",
    [
        (None, "{}"),
        ("{}", "{}"),
        (" {\n} ", "{}"),
        ("null", "null"),
        ("[1, 2]", "[1,2]"),
        ('"eu"', '"eu"'),
        ("1.50", "1.5"),
        ('{"b": 1, "a": {"d": 1, "c": 2}}', '{"a":{"c":2,"d":1},"b":1}'),
        ('{"a": 1, "a": 2}', '{"a":2}'),
        ('{"s": "\\u00e9\\/"}', '{"s":"\u00e9/"}'),
    ],
)
def test_metadata_is_kept_in_canonical_form(mesh, given, written):
    text = mesh.register_agent("T", "a", metadata_json=given)
    assert text.endswith(f',"metadata":{written}}}')
    assert mesh.get_agent("a") == text


@pytest.mark.parametrize(
    "agent_id,escaped",
    [('a"b', 'a\\"b'), ("line\nbreak", "line\\nbreak"), ("back\\slash", "back\\\\slash"), ("\x01", "\\u0001"),
     ("caf\u00e9", "caf\u00e9"), ("", "")],
)
def test_identity_is_escaped_in_json(mesh, agent_id, escaped):
    text = mesh.register_agent("T", agent_id)
    assert text.startswith(f'{{"agent_id":"{escaped}",')
    assert agent(mesh, agent_id)["agent_id"] == agent_id


@pytest.mark.parametrize("instance", [0, 1, 4294967295])
def test_instance_range(mesh, instance):
    assert f'"instance":{instance},' in mesh.register_agent("T", "a", instance)


def test_invalid_metadata_is_a_serialization_error(mesh):
    with pytest.raises(ValueError) as raised:
        mesh.register_agent("T", "a", metadata_json="{'a': 1}")
    assert raised.value.args[0].startswith("Serialization error: key must be a string at line 1 column ")
    assert mesh.get_agent("a") is None


def test_duplicate_registration_keeps_the_first_entry(mesh):
    first = mesh.register_agent("Customer", "customer-123", 1, '{"r":"eu"}')
    with pytest.raises(RuntimeError) as raised:
        mesh.register_agent("Order", "customer-123", 2, '{"r":"us"}')
    assert type(raised.value) is RuntimeError
    assert raised.value.args == ("Agent 'customer-123' is already registered",)
    assert mesh.get_agent("customer-123") == first


def test_invalid_metadata_is_reported_before_a_duplicate(mesh):
    mesh.register_agent("T", "a")
    with pytest.raises(ValueError) as raised:
        mesh.register_agent("T", "a", metadata_json="[1,]")
    assert raised.value.args[0].startswith("Serialization error: trailing comma at line 1 column ")


def test_identities_are_compared_byte_for_byte(mesh):
    mesh.register_agent("T", "agent")
    mesh.register_agent("T", "Agent")
    mesh.register_agent("T", "agent ")
    assert len(record(mesh.list_agents())) == 3


def test_deregistration(mesh):
    assert mesh.deregister_agent("never") is None
    assert mesh.get_agent("never") is None
    mesh.register_agent("T", "a")
    assert mesh.deregister_agent("a") is None
    assert mesh.get_agent("a") is None
    assert mesh.deregister_agent("a") is None


def test_registering_again_after_deregistration_is_a_fresh_record(faulty_mesh, testing):
    faulty_mesh.register_agent("T", "a", 3, "[1]")
    faulty_mesh.update_agent_status("a", "error")
    faulty_mesh.deregister_agent("a")
    testing.shift_clock(1000)
    again = record(faulty_mesh.register_agent("U", "a"))
    assert again["status"] == "starting"
    assert (again["agent_type"], again["instance"], again["metadata"]) == ("U", 0, {})
    assert again["registered_at"] == again["last_active"]


@pytest.mark.parametrize(
    "text,placeholder",
    [
        ("Running", '"Running"'),
        ("", '""'),
        ("RUNNING", '"RUNNING"'),
        (" idle", '" idle"'),
        ('a"b', '"a\\"b"'),
        ("a\\b", '"a\\\\b"'),
        ("it's", "\"it's\""),
        ("tab\there", '"tab\\there"'),
        ("bell\x07", '"bell\\u{7}"'),
        ("nul\x00", '"nul\\0"'),
        ("e\u0301", '"e\\u{301}"'),
        ("zero\u200bwidth", '"zero\\u{200b}width"'),
        ("\u00e9t\u00e9", '"\u00e9t\u00e9"'),
    ],
)
def test_unknown_status_message(mesh, text, placeholder):
    with pytest.raises(ValueError) as raised:
        mesh.update_agent_status("never-registered", text)
    assert raised.value.args == (
        f"Unknown status {placeholder}. Valid values: starting, running, idle, stopping, stopped, error",
    )


def test_unknown_agent_status_update_is_a_key_error(mesh):
    with pytest.raises(KeyError) as raised:
        mesh.update_agent_status("customer-123", "idle")
    assert raised.value.args == ("Agent '/customer-123' not found in registry",)


@pytest.mark.parametrize("status", STATUSES)
def test_status_update_renews_last_active(faulty_mesh, testing, status):
    first = record(faulty_mesh.register_agent("T", "a"))
    testing.shift_clock(1000)
    assert faulty_mesh.update_agent_status("a", status) is None
    changed = agent(faulty_mesh, "a")
    assert changed["status"] == status
    assert changed["registered_at"] == first["registered_at"]
    assert changed["last_active"] != first["last_active"]
    assert {k: v for k, v in changed.items() if k not in ("status", "last_active")} == {
        k: v for k, v in first.items() if k not in ("status", "last_active")
    }


def test_setting_the_same_status_again_renews_last_active(faulty_mesh, testing):
    faulty_mesh.register_agent("T", "a")
    faulty_mesh.update_agent_status("a", "stopped")
    faulty_mesh.update_agent_status("a", "running")
    before = agent(faulty_mesh, "a")["last_active"]
    testing.shift_clock(1000)
    faulty_mesh.update_agent_status("a", "running")
    assert agent(faulty_mesh, "a")["last_active"] != before


def test_reading_leaves_last_active_alone(faulty_mesh, testing):
    before = faulty_mesh.register_agent("T", "a")
    testing.shift_clock(1000)
    faulty_mesh.list_agents()
    faulty_mesh.list_agents("T", "starting")
    assert faulty_mesh.get_agent("a") == before


@pytest.fixture
def populated(mesh):
    for agent_type, agent_id, status in [
        ("Customer", "c1", "starting"),
        ("Customer", "c2", "idle"),
        ("Customer", "c3", "running"),
        ("Order", "o1", "idle"),
        ("", "e1", "error"),
    ]:
        mesh.register_agent(agent_type, agent_id)
        mesh.update_agent_status(agent_id, status)
    return mesh


@pytest.mark.parametrize(
    "agent_type,status,expected",
    [
        (None, None, {"c1", "c2", "c3", "o1", "e1"}),
        ("Customer", None, {"c1", "c2", "c3"}),
        (None, "idle", {"c2", "o1"}),
        ("Customer", "idle", {"c2"}),
        ("Order", "running", set()),
        ("", None, {"e1"}),
        ("customer", None, set()),
        (None, "Idle", set()),
        (None, "sleeping", set()),
        (None, "", set()),
    ],
)
def test_list_filters(populated, agent_type, status, expected):
    listed = record(populated.list_agents(agent_type, status))
    assert {entry["agent_id"] for entry in listed} == expected
    assert len(listed) == len(expected)
    for entry in listed:
        assert list(entry) == MEMBERS
        assert populated.get_agent(entry["agent_id"]) == json.dumps(entry, separators=(",", ":"), ensure_ascii=False)


def test_list_of_nothing_is_an_empty_array(populated):
    assert populated.list_agents(None, "Running") == "[]"
    assert populated.list_agents(status="bogus") == "[]"
    assert populated.list_agents(agent_type="None") == "[]"


def test_empty_registry_lists_nothing(mesh):
    assert mesh.list_agents() == "[]"


def test_list_is_entries_joined_by_commas(populated):
    text = populated.list_agents("Customer", "idle")
    assert text == "[" + populated.get_agent("c2") + "]"
    whole = populated.list_agents()
    assert whole.startswith("[{") and whole.endswith("}]") and " " not in whole


def test_counts_follow_status_changes(mesh):
    for agent_id in ["a", "b", "c", "d"]:
        mesh.register_agent("T", agent_id)
    mesh.update_agent_status("a", "running")
    mesh.update_agent_status("b", "idle")
    mesh.update_agent_status("c", "error")
    mesh.update_agent_status("d", "stopped")
    assert json.loads(mesh.health_snapshot())["agents"] == {"error": 1, "idle": 1, "running": 1, "total": 4}
    mesh.update_agent_status("b", "running")
    mesh.deregister_agent("c")
    assert json.loads(mesh.health_snapshot())["agents"] == {"error": 0, "idle": 0, "running": 2, "total": 3}
    assert "agents=3," in repr(mesh)


# Every registry operation, called on a poisoned registry.
REGISTRY_CALLS = [
    ("register_agent", ("T", "new")),
    ("deregister_agent", ("a",)),
    ("get_agent", ("a",)),
    ("list_agents", ()),
    ("list_agents", ("T", "bogus")),
    ("update_agent_status", ("a", "idle")),
    ("route_agent_call", ("T", "a", "m")),
]


def poison_by_fault(mesh, testing):
    testing.inject_fault("registry.register")
    mesh.register_agent("T", "b")


def poison_by_clock(mesh, testing):
    testing.shift_clock(-(10**10))
    mesh.register_agent("T", "b")


def poison_by_clock_before_1677(mesh, testing):
    testing.pin_clock(-9999999999)  # beyond a 64-bit count of nanoseconds
    mesh.register_agent("T", "b")


def poison_on_status_change(mesh, testing):
    testing.inject_fault("registry.set_status")
    mesh.update_agent_status("a", "idle")


def poison_on_deregistration(mesh, testing):
    testing.inject_fault("registry.deregister")
    mesh.deregister_agent("a")


@pytest.mark.parametrize(
    "poison",
    [poison_by_fault, poison_by_clock, poison_by_clock_before_1677, poison_on_status_change, poison_on_deregistration],
)
def test_an_abandoned_change_poisons_only_the_registry(faulty_mesh, testing, poison, expect_panic):
    mesh = faulty_mesh
    mesh.register_agent("T", "a")
    mesh.update_agent_status("a", "running")
    with expect_panic():
        poison(mesh, testing)
    testing.shift_clock(0)
    testing.pin_clock(None)

    for name, arguments in REGISTRY_CALLS:
        with pytest.raises(RuntimeError) as refused:
            getattr(mesh, name)(*arguments)
        assert refused.value.args == (POISONED,), name
    # Reading JSON still comes first.
    with pytest.raises(ValueError):
        mesh.register_agent("T", "new", metadata_json="{")

    snapshot = json.loads(mesh.health_snapshot())
    assert snapshot["agents"] == {"error": 0, "idle": 0, "running": 0, "total": 0}
    assert repr(mesh).startswith('OrvelMesh(app="myapp", agents=0,')
    # The other components carry on.
    mesh.state_set("k", "1")
    assert mesh.state_get("k") == "1"
    assert json.loads(mesh.start_migration("v", "a", "b"))["variable_name"] == "v"
    assert mesh.publish("topic", "{}") >= 0


def test_an_abandoned_read_does_not_poison(faulty_mesh, testing, expect_panic):
    faulty_mesh.register_agent("T", "a")
    testing.inject_fault("registry.get")
    with expect_panic():
        faulty_mesh.get_agent("a")
    assert agent(faulty_mesh, "a")["agent_id"] == "a"
    faulty_mesh.register_agent("T", "b")
    assert json.loads(faulty_mesh.health_snapshot())["agents"]["total"] == 2
