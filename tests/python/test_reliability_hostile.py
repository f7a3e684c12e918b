"""Hostile input: deep nesting, huge documents and names, lone surrogates, integers at and
beyond their bounds, NUL characters. Each gets its documented error or works, and a refused
call leaves nothing behind."""

import json
import os

import pytest

import orvel_mesh

MILLION = 1_000_000
RECURSION = "Serialization error: recursion limit exceeded at line 1 column {}"


def counts(mesh):
    return mesh.health_snapshot()


def json_entries(mesh):
    """Every way JSON text enters a mesh, as callables of the text."""
    mesh.register_agent("T", "a")
    return {
        "state_set": lambda text: mesh.state_set("k", text),
        "publish": lambda text: mesh.publish("t", text),
        "metadata_json": lambda text: mesh.register_agent("T", "b", metadata_json=text),
        "args_json": lambda text: mesh.route_agent_call("T", "a", "m", text),
        "plan_json": lambda text: orvel_mesh.OrvelMesh("app", text),
    }


DEEP = [
    ("[" * MILLION, 128),
    ("[" * MILLION + "]" * MILLION, 128),
    ('{"a":' * MILLION, 5 * 127 + 1),
    ('[{"a":' * (MILLION // 2), 6 * 63 + 2),
    ('{"app_name":"a","deep":' + "[" * MILLION, 23 + 127),
]
# A plan must be an object whose extra members are still read whole.
DEEP_CASES = [(entry, *case) for entry in ["state_set", "publish", "metadata_json", "args_json"] for case in DEEP] + \
    [("plan_json", *DEEP[-1])]


@pytest.mark.parametrize("entry,text,column", DEEP_CASES, ids=[f"{e}-{i % len(DEEP)}" for i, (e, *_) in
                                                               enumerate(DEEP_CASES)])
def test_a_million_open_brackets_are_refused_at_the_limit(mesh, entry, text, column):
    call = json_entries(mesh)[entry]
    before = counts(mesh)
    with pytest.raises(ValueError) as refused:
        call(text)
    assert refused.value.args == (RECURSION.format(column),)
    assert counts(mesh) == before
    assert (mesh.state_exists("k"), mesh.get_agent("b")) == (False, None)
    assert json.loads(mesh.get_agent("a"))["status"] == "starting"


def hundred_megabytes():
    record = '{"id":1234567,"name":"' + "n" * 60 + '","v":[1.5,true,null,-7]}'
    count = 100 * 2**20 // (len(record) + 1)
    return "[" + ",".join([record] * count) + "]"


def test_a_hundred_megabyte_document_is_stored_whole_or_not_at_all(mesh):
    document = hundred_megabytes()
    assert len(document) >= 100 * 2**20 - 200
    # Already canonical, so it must come back byte for byte.
    mesh.state_set("big", document)
    assert mesh.state_get("big") == document
    broken = document[:-1] + ",]"
    with pytest.raises(ValueError) as refused:
        mesh.state_set("other", broken)
    assert refused.value.args == (f"Serialization error: trailing comma at line 1 column {len(broken)}",)
    assert mesh.state_keys() == ["big"]
    mesh.state_set("big", "1")
    assert mesh.state_get("big") == "1"


@pytest.mark.skipif(not os.environ.get("ORVEL_MESH_HUGE_TESTS"),
                    reason="needs about 13 GB of memory; set ORVEL_MESH_HUGE_TESTS=1 to run it")
def test_a_member_name_longer_than_4_gib_is_kept_whole(mesh):
    # Cut to 32 bits, the long name would read as a repeat of the first and replace it.
    document = "".join(['{"aaaaaaaa":1,"', "a" * (2**32 + 8), '":2}'])
    mesh.state_set("k", document)
    assert mesh.state_get("k") == document


def test_ten_megabyte_names_work_everywhere(mesh):
    name = "é" * (5 * 2**20)  # 10 MiB of UTF-8
    mesh.state_set(name, "[1]")
    assert mesh.state_keys(name[:3]) == [name]
    assert (mesh.state_get(name), mesh.state_exists(name + "x")) == ("[1]", False)
    entry = json.loads(mesh.register_agent(name, name, metadata_json=json.dumps({name: name})))
    assert (entry["agent_id"], entry["agent_type"], entry["metadata"]) == (name, name, {name: name})
    assert json.loads(mesh.route_agent_call(name, name, name))["method"] == name
    assert mesh.publish(name, "1") == 0
    assert json.loads(mesh.start_migration(name, name, name))["target_backend"] == name
    with pytest.raises(ValueError) as refused:
        mesh.start_migration(name, "a", "b")
    assert refused.value.args == (f"Migration error: Migration for '{name}' already in progress at stage 1 "
                                  "(shadow_write)",)
    assert json.loads(mesh.health_snapshot())["channels"]["topics"] == 1
    mesh.state_delete(name)
    mesh.deregister_agent(name)
    assert (mesh.state_keys(), mesh.list_agents()) == ([], "[]")
    assert orvel_mesh.OrvelMesh(name).app_name == name


# Every text parameter, with working values for the others.
TEXT_ARGUMENTS = {
    "register_agent": {"agent_type": "T", "agent_id": "n", "metadata_json": "{}"},
    "update_agent_status": {"agent_id": "a", "status": "idle"},
    "deregister_agent": {"agent_id": "a"},
    "get_agent": {"agent_id": "a"},
    "list_agents": {"agent_type": "T", "status": "idle"},
    "route_agent_call": {"agent_type": "T", "agent_id": "a", "method": "m", "args_json": "{}"},
    "state_get": {"key": "k"},
    "state_set": {"key": "k", "value_json": "2"},
    "state_delete": {"key": "k"},
    "state_exists": {"key": "k"},
    "state_keys": {"prefix": "k"},
    "start_migration": {"variable_name": "w", "source_backend": "x", "target_backend": "y"},
    "advance_migration": {"variable_name": "v"},
    "rollback_migration": {"variable_name": "v"},
    "get_migration": {"variable_name": "v"},
    "publish": {"topic": "new", "payload_json": "1"},
}
SURROGATE_CASES = [(method, parameter) for method, arguments in TEXT_ARGUMENTS.items() for parameter in arguments]


def populated():
    mesh = orvel_mesh.OrvelMesh("myapp")
    mesh.register_agent("T", "a")
    mesh.state_set("k", "1")
    mesh.start_migration("v", "x", "y")
    mesh.publish("t", "1")
    return mesh


def everything(mesh):
    return (mesh.health_snapshot(), mesh.list_agents(), [(k, mesh.state_get(k)) for k in mesh.state_keys()],
            mesh.list_migrations())


@pytest.mark.parametrize("surrogate", ["\ud800", "ok\udfffok"])
@pytest.mark.parametrize("method,parameter", SURROGATE_CASES)
def test_a_lone_surrogate_in_any_text_argument_is_refused_before_anything_changes(method, parameter, surrogate):
    mesh = populated()
    before = everything(mesh)
    arguments = dict(TEXT_ARGUMENTS[method], **{parameter: surrogate})
    with pytest.raises(UnicodeEncodeError):
        getattr(mesh, method)(**arguments)
    assert everything(mesh) == before


@pytest.mark.parametrize("arguments", [("\ud800",), ("a", "\ud800"), ("a", '{"app_name":"\ud800"}')])
def test_a_lone_surrogate_in_the_constructor_is_refused(arguments):
    with pytest.raises(UnicodeEncodeError):
        orvel_mesh.OrvelMesh(*arguments)


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


U32 = "out of range integral type conversion attempted"


@pytest.mark.parametrize("instance,error", [
    (0, None), (2**32 - 1, None), (Index(2**32 - 1), None), (True, None),
    (2**32, U32), (2**64 - 1, U32), (Index(2**32), U32),
    (2**64, OverflowError), (2**200, OverflowError), (-1, OverflowError), (-(2**200), OverflowError),
    (Index(-1), OverflowError), (1.0, TypeError),
])
def test_instance_at_and_beyond_its_bounds(mesh, instance, error):
    if error is None:
        expected = instance.value if isinstance(instance, Index) else int(instance)
        assert json.loads(mesh.register_agent("T", "a", instance))["instance"] == expected
        return
    with pytest.raises(OverflowError if error == U32 else error) as refused:
        mesh.register_agent("T", "a", instance)
    if error == U32:
        assert refused.value.args == (U32,)
    assert mesh.get_agent("a") is None and mesh.list_agents() == "[]"


MAX = 2**64 - 1


@pytest.mark.parametrize("counts_given,error", [
    ((MAX, MAX), None), ((Index(MAX), 0), None),
    ((2**64, 0), OverflowError), ((0, 2**64), OverflowError), ((-1, 0), OverflowError),
    ((0, Index(-1)), OverflowError), ((0, 2**1000), OverflowError), (("1", 0), TypeError),
])
def test_migration_counts_at_and_beyond_their_bounds(mesh, counts_given, error):
    mesh.start_migration("v", "x", "y")
    mesh.advance_migration("v", 5, 5)
    if error is None:
        state = json.loads(mesh.advance_migration("v", *counts_given))
        # Totals stop at the largest value instead of wrapping round.
        assert (state["discrepancy_count"], state["keys_migrated"]) == (MAX, MAX if counts_given[1] else 5)
        assert state["stage"] == 3
        return
    with pytest.raises(error):
        mesh.advance_migration("v", *counts_given)
    state = json.loads(mesh.get_migration("v"))
    assert (state["stage"], state["discrepancy_count"], state["keys_migrated"]) == (2, 5, 5)


def test_nul_characters_are_ordinary_characters(mesh):
    for key in ["a", "a\0", "a\0b", "\0"]:
        mesh.state_set(key, json.dumps(key))
    assert mesh.state_keys() == ["\0", "a", "a\0", "a\0b"]
    assert mesh.state_keys("a\0") == ["a\0", "a\0b"]
    assert mesh.state_get("a\0") == '"a\\u0000"'
    mesh.state_delete("a\0")
    assert (mesh.state_exists("a"), mesh.state_exists("a\0"), mesh.state_exists("a\0b")) == (True, False, True)

    mesh.register_agent("T\0", "x\0")
    mesh.register_agent("T", "x")
    assert [e["agent_id"] for e in json.loads(mesh.list_agents("T\0"))] == ["x\0"]
    with pytest.raises(ValueError) as refused:
        mesh.update_agent_status("x\0", "idle\0")
    assert refused.value.args[0].startswith('Unknown status "idle\\0". ')
    with pytest.raises(KeyError) as missing:
        mesh.route_agent_call("T", "x\0y", "m\0")
    assert missing.value.args == ("Agent 'T/x\0y' not found in registry",)

    assert (mesh.publish("t", "1"), mesh.publish("t\0", "1")) == (0, 0)
    mesh.start_migration("v\0", "x", "y")
    assert mesh.get_migration("v") is None
    assert json.loads(mesh.health_snapshot())["channels"]["topics"] == 2


@pytest.mark.parametrize("text,error", [
    ('"a\0"', "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"),
    ("1\0", "trailing characters at line 1 column 2"),
    ("\0", "expected value at line 1 column 1"),
])
def test_a_raw_nul_in_json_text_is_refused(mesh, text, error):
    with pytest.raises(ValueError) as refused:
        mesh.state_set("k", text)
    assert refused.value.args == (f"Serialization error: {error}",)
    assert not mesh.state_exists("k")


def test_nul_in_the_application_name_is_shown_escaped():
    mesh = orvel_mesh.OrvelMesh('my\0app"')
    assert mesh.app_name == 'my\0app"'
    assert repr(mesh) == 'OrvelMesh(app="my\\0app\\"", agents=0, state_keys=0, migrations=0)'
    assert json.loads(mesh.health_snapshot())["app"] == 'my\0app"'
