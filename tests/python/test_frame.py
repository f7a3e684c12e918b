"""Argument binding and conversion, shared by every method."""

import pytest

from orvel_mesh import OrvelMesh


class IndexLike:
    def __index__(self):
        return 7


class FailingIndex:
    def __index__(self):
        raise OverflowError("from __index__")


class StrSubclass(str):
    pass


class OwnHashStr(str):
    """A key whose own hash says nothing of its text: the tables must not use it."""

    def __hash__(self):
        return 7


def instance_of_type_named(qualname):
    kind = type("Named", (), {})
    kind.__qualname__ = qualname
    return kind()


@pytest.mark.parametrize(
    "call,message",
    [
        (lambda m: m.register_agent("T"),
         "OrvelMesh.register_agent() missing 1 required positional argument: 'agent_id'"),
        (lambda m: m.register_agent(),
         "OrvelMesh.register_agent() missing 2 required positional arguments: 'agent_type' and 'agent_id'"),
        (lambda m: m.start_migration(),
         "OrvelMesh.start_migration() missing 3 required positional arguments: "
         "'variable_name', 'source_backend' and 'target_backend'"),
        (lambda m: m.route_agent_call("T", method="m"),
         "OrvelMesh.route_agent_call() missing 1 required positional argument: 'agent_id'"),
        (lambda m: m.get_agent("a", "b"),
         "OrvelMesh.get_agent() takes 1 positional arguments but 2 were given"),
        (lambda m: m.state_set("a", "1", "2"),
         "OrvelMesh.state_set() takes 2 positional arguments but 3 were given"),
        (lambda m: m.list_agents(None, None, None),
         "OrvelMesh.list_agents() takes from 0 to 2 positional arguments but 3 were given"),
        (lambda m: m.advance_migration("v", 1, 2, 3, 4),
         "OrvelMesh.advance_migration() takes from 1 to 3 positional arguments but 5 were given"),
        (lambda m: m.get_agent(agent_id="a", x=1),
         "OrvelMesh.get_agent() got an unexpected keyword argument 'x'"),
        (lambda m: m.get_agent("a", agent_id="a"),
         "OrvelMesh.get_agent() got multiple values for argument 'agent_id'"),
        (lambda m: m.state_get(5),
         "argument 'key': 'int' object cannot be converted to 'PyString'"),
        (lambda m: m.state_keys(None),
         "argument 'prefix': 'NoneType' object cannot be converted to 'PyString'"),
        (lambda m: m.state_set("k", b"1"),
         "argument 'value_json': 'bytes' object cannot be converted to 'PyString'"),
        (lambda m: m.list_agents(status=3),
         "argument 'status': 'int' object cannot be converted to 'PyString'"),
        (lambda m: m.register_agent("T", "a", instance=1.5),
         "argument 'instance': 'float' object cannot be interpreted as an integer"),
        (lambda m: m.advance_migration("v", keys_migrated="3"),
         "argument 'keys_migrated': 'str' object cannot be interpreted as an integer"),
        (lambda m: OrvelMesh("a", None),
         "argument 'plan_json': 'NoneType' object cannot be converted to 'PyString'"),
        (lambda m: OrvelMesh(),
         "OrvelMesh.__new__() missing 1 required positional argument: 'app_name'"),
        (lambda m: OrvelMesh("a", "", ""),
         "OrvelMesh.__new__() takes from 1 to 2 positional arguments but 3 were given"),
        (lambda m: OrvelMesh(app="a"),
         "OrvelMesh.__new__() got an unexpected keyword argument 'app'"),
        # Texts from Python arrive whole: NULs and lone surrogates included.
        (lambda m: m.get_agent("a", **{"a\x00b": 1}),
         "OrvelMesh.get_agent() got an unexpected keyword argument 'a\x00b'"),
        (lambda m: OrvelMesh("a", **{"a\x00b": 1}),
         "OrvelMesh.__new__() got an unexpected keyword argument 'a\x00b'"),
        (lambda m: m.get_agent(**{"agent_id\x00": "a"}),
         "OrvelMesh.get_agent() got an unexpected keyword argument 'agent_id\x00'"),
        (lambda m: m.get_agent("a", **{"\ud800": 1}),
         "OrvelMesh.get_agent() got an unexpected keyword argument '\ud800'"),
        (lambda m: OrvelMesh("a", **{"\ud800": 1}),
         "OrvelMesh.__new__() got an unexpected keyword argument '\ud800'"),
        (lambda m: m.state_get(instance_of_type_named("a\x00b")),
         "argument 'key': 'a\x00b' object cannot be converted to 'PyString'"),
        (lambda m: m.list_agents(status=instance_of_type_named("\ud800")),
         "argument 'status': '\ud800' object cannot be converted to 'PyString'"),
    ],
)
def test_type_errors(mesh, call, message):
    with pytest.raises(TypeError) as raised:
        call(mesh)
    assert type(raised.value) is TypeError
    assert raised.value.args == (message,)


def test_one_positional_argument_too_many_says_was(mesh):
    with pytest.raises(TypeError, match=r"takes from 0 to 1 positional arguments but 2 were given"):
        mesh.state_keys("a", "b")
    with pytest.raises(TypeError) as raised:
        mesh.plan_json(1)
    assert "plan_json() takes no arguments (1 given)" in str(raised.value)


def test_binding_errors_come_before_conversion_errors(mesh):
    with pytest.raises(TypeError, match="unexpected keyword argument 'x'"):
        mesh.state_set(5, value_json=6, x=1)
    with pytest.raises(TypeError, match="missing 1 required positional argument: 'value_json'"):
        mesh.state_set(5)


def test_earliest_parameter_wins_among_conversion_errors(mesh):
    with pytest.raises(TypeError, match="^argument 'agent_type': "):
        mesh.register_agent(1, 2, instance="x")
    with pytest.raises(TypeError, match="^argument 'agent_id': "):
        mesh.register_agent("T", 2, instance="x")


@pytest.mark.parametrize(
    "kwargs,error,message",
    [
        ({"instance": -1}, OverflowError, None),
        ({"instance": 4294967296}, OverflowError, "out of range integral type conversion attempted"),
        ({"instance": 2**64}, OverflowError, None),
        ({"instance": FailingIndex()}, OverflowError, "from __index__"),
    ],
)
def test_integer_range_errors_pass_unwrapped(mesh, kwargs, error, message):
    with pytest.raises(error) as raised:
        mesh.register_agent("T", "a", **kwargs)
    if message is not None:
        assert str(raised.value) == message
    assert mesh.get_agent("a") is None


@pytest.mark.parametrize("value,expected", [(True, 1), (IndexLike(), 7), (4294967295, 4294967295), (0, 0)])
def test_unsigned_32_bit_accepts_index_objects(mesh, value, expected):
    assert f'"instance":{expected},' in mesh.register_agent("T", "a", instance=value)


def test_unsigned_64_bit_bounds(mesh):
    mesh.start_migration("v", "a", "b")
    assert '"discrepancy_count":18446744073709551615,' in mesh.advance_migration("v", discrepancy_count=2**64 - 1)
    with pytest.raises(OverflowError):
        mesh.advance_migration("v", discrepancy_count=2**64)
    with pytest.raises(OverflowError):
        mesh.advance_migration("v", keys_migrated=-1)


def test_wrapped_type_error_keeps_the_cause(mesh):
    class BadIndex:
        def __index__(self):
            try:
                raise KeyError("inner")
            except KeyError as inner:
                raise TypeError("bad index") from inner

    with pytest.raises(TypeError) as raised:
        mesh.register_agent("T", "a", instance=BadIndex())
    assert str(raised.value) == "argument 'instance': bad index"
    assert isinstance(raised.value.__cause__, KeyError)


def test_lone_surrogate_is_a_unicode_encode_error(mesh):
    with pytest.raises(UnicodeEncodeError):
        mesh.state_set("\ud800", "1")
    assert mesh.state_keys() == []


def test_keywords_in_any_order_and_str_subclasses(mesh):
    mesh.state_set(value_json="1", key="k")
    assert mesh.state_get(key=StrSubclass("k")) == "1"
    assert mesh.list_agents(None, None) == mesh.list_agents() == "[]"
    mesh.register_agent("T", "a", metadata_json=None)
    assert '"metadata":{}' in mesh.get_agent("a")


@pytest.mark.parametrize("stored,looked_up", [("key", OwnHashStr("key")), (OwnHashStr("key"), "key"),
                                              (OwnHashStr("key"), StrSubclass("key"))])
def test_a_key_finds_its_entry_whatever_str_type_carries_it(mesh, stored, looked_up):
    mesh.state_set(stored, "1")
    mesh.register_agent("T", stored)
    mesh.start_migration(stored, "a", "b")
    assert mesh.state_exists(looked_up) and mesh.state_get(looked_up) == "1"
    assert mesh.get_agent(looked_up) is not None and mesh.get_migration(looked_up) is not None
    mesh.update_agent_status(looked_up, "idle")
    mesh.state_delete(looked_up)
    mesh.deregister_agent(looked_up)
    assert not mesh.state_exists(stored) and mesh.get_agent(stored) is None


def test_self_is_checked_for_unbound_calls():
    with pytest.raises(TypeError):
        OrvelMesh.get_agent(object(), "a")
    with pytest.raises(TypeError):
        OrvelMesh.plan_json(1)
