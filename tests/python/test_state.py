"""The shared key/value store: canonical values, byte-ordered listing, poisoning."""

import json

import pytest

POISONED = "State error: state lock poisoned"


def key_count(mesh):
    return json.loads(mesh.health_snapshot())["state"]["keys"]


@pytest.mark.parametrize(
    "stored,read_back",
    [
        ("null", "null"),
        (" 5 ", "5"),
        ("\t\n\r 5", "5"),
        ('{"b": 1, "a": [1, 2.50]}', '{"a":[1,2.5],"b":1}'),
        ('{"a": 1, "a": 2}', '{"a":2}'),
        ('"\\u0009\\"\\u00e9"', '"\\t\\"\u00e9"'),
        ('"tab\\tquote\\"caf\u00e9"', '"tab\\tquote\\"caf\u00e9"'),
        ("[true, false, null, -0, 1e2]", "[true,false,null,-0.0,100.0]"),
        ("18446744073709551615", "18446744073709551615"),
        ("18446744073709551616", "1.8446744073709552e+19"),
        ('{"z": {"y": 1, "x": 2}}', '{"z":{"x":2,"y":1}}'),
    ],
)
def test_values_come_back_in_canonical_form(mesh, stored, read_back):
    assert mesh.state_set("k", stored) is None
    assert mesh.state_get("k") == read_back
    assert mesh.state_get("k") == read_back


def test_absent_and_null_are_different(mesh):
    assert mesh.state_get("k") is None
    assert mesh.state_exists("k") is False
    mesh.state_set("k", "null")
    assert mesh.state_get("k") == "null"
    assert mesh.state_exists("k") is True


@pytest.mark.parametrize("replacement", ['"text"', "[1]", "{}", "false", "null", "3.5"])
def test_replacing_takes_any_type_and_keeps_the_count(mesh, replacement):
    mesh.state_set("k", '{"a": 1}')
    mesh.state_set("k", replacement)
    assert mesh.state_get("k") == replacement
    assert key_count(mesh) == 1


@pytest.mark.parametrize("bad", ["1 2", "", "   ", "{", "[1,]", "nul", "NaN", "'a'", '{"a" 1}', "01", "// c\n1"])
def test_unreadable_values_leave_the_store_alone(mesh, bad):
    mesh.state_set("k", "7")
    with pytest.raises(ValueError) as raised:
        mesh.state_set("k", bad)
    assert raised.value.args[0].startswith("Serialization error: ")
    assert " at line " in raised.value.args[0]
    with pytest.raises(ValueError):
        mesh.state_set("new", bad)
    assert mesh.state_get("k") == "7"
    assert mesh.state_keys() == ["k"]


def test_empty_value_message(mesh):
    with pytest.raises(ValueError) as raised:
        mesh.state_set("k", "")
    assert raised.value.args[0].startswith("Serialization error: EOF while parsing a value at line 1 column ")


@pytest.mark.parametrize("depth,accepted", [(127, True), (128, False)])
def test_nesting_limit(mesh, depth, accepted):
    text = "[" * depth + "]" * depth
    if accepted:
        mesh.state_set("k", text)
        assert mesh.state_get("k") == text
    else:
        with pytest.raises(ValueError, match="^Serialization error: recursion limit exceeded"):
            mesh.state_set("k", text)
        assert mesh.state_exists("k") is False


def test_delete_of_absent_key_does_nothing(mesh):
    mesh.state_set("kept", "1")
    assert mesh.state_delete("gone") is None
    assert mesh.state_delete("gone") is None
    mesh.state_set("gone", "2")
    assert mesh.state_delete("gone") is None
    assert mesh.state_delete("gone") is None
    assert mesh.state_keys() == ["kept"]
    assert mesh.state_get("gone") is None


@pytest.mark.parametrize(
    "prefix,expected",
    [("", ["A", "a", "ab", "b"]), ("a", ["a", "ab"]), ("abc", []), ("A", ["A"]), ("ab", ["ab"]), ("c", [])],
)
def test_listing_by_prefix(mesh, prefix, expected):
    for key in ["a", "ab", "b", "A"]:
        mesh.state_set(key, "0")
    keys = mesh.state_keys(prefix)
    assert type(keys) is list
    assert keys == expected
    assert mesh.state_keys(prefix=prefix) == expected


def test_listing_sorts_by_code_point(mesh):
    # UTF-8 byte order is code point order: U+FFFF before U+10000, unlike UTF-16 order.
    keys = ["z", "\u00e9", "\uffff", "\U00010000", "\U0001f600", "\x7f", "", "Z", "\u00e9t\u00e9", "\ud7ff"]
    for key in keys:
        mesh.state_set(key, "1")
    assert mesh.state_keys() == sorted(keys)
    assert mesh.state_keys("\u00e9") == ["\u00e9", "\u00e9t\u00e9"]


def test_empty_key(mesh):
    mesh.state_set("b", "2")
    mesh.state_set("", "1")
    assert mesh.state_get("") == "1"
    assert mesh.state_exists("") is True
    assert mesh.state_keys() == ["", "b"]
    mesh.state_delete("")
    assert mesh.state_exists("") is False
    assert mesh.state_keys() == ["b"]


def test_keys_differing_in_case_are_distinct(mesh):
    mesh.state_set("Key", "1")
    mesh.state_set("key", "2")
    assert (mesh.state_get("Key"), mesh.state_get("key")) == ("1", "2")
    assert key_count(mesh) == 2


STATE_CALLS = [
    ("state_get", ("k",)),
    ("state_set", ("k", "1")),
    ("state_delete", ("k",)),
    ("state_exists", ("k",)),
    ("state_keys", ()),
    ("state_keys", ("k",)),
]


@pytest.mark.parametrize("site,poison", [
    ("state.set", lambda mesh: mesh.state_set("k", "2")),
    ("state.remove", lambda mesh: mesh.state_delete("k")),
])
def test_an_abandoned_change_poisons_only_the_store(faulty_mesh, testing, site, poison, expect_panic):
    mesh = faulty_mesh
    mesh.state_set("k", "1")
    testing.inject_fault(site)
    with expect_panic():
        poison(mesh)

    for name, arguments in STATE_CALLS:
        with pytest.raises(RuntimeError) as refused:
            getattr(mesh, name)(*arguments)
        assert refused.value.args == (POISONED,), name
    with pytest.raises(ValueError, match="^Serialization error: "):
        mesh.state_set("k", "{")

    assert key_count(mesh) == 0
    assert "state_keys=0" in repr(mesh)
    mesh.register_agent("T", "a")
    mesh.start_migration("v", "a", "b")
    assert mesh.publish("t", "1") == 0
    assert json.loads(mesh.health_snapshot())["migrations"]["active"] == 1


def test_an_abandoned_read_does_not_poison(faulty_mesh, testing, expect_panic):
    faulty_mesh.state_set("k", "1")
    testing.inject_fault("state.get")
    with expect_panic():
        faulty_mesh.state_get("k")
    assert faulty_mesh.state_get("k") == "1"
    faulty_mesh.state_set("j", "2")
    assert faulty_mesh.state_keys() == ["j", "k"]
    assert key_count(faulty_mesh) == 2
