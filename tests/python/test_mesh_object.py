"""Construction, the application name and the engine name, PanicException."""

import json

import pytest

from orvel_mesh import OrvelMesh


@pytest.mark.parametrize(
    "plan_text,app_name,engine_name",
    [
        (None, "myapp", "myapp"),
        ("", "myapp", "myapp"),
        ("{}", "", "myapp"),
        (" \n", "", "myapp"),
        ('{"app_name":"web"}', "web", "web"),
        ('{"app_name":""}', "", "myapp"),
    ],
)
def test_application_name_and_engine_name(plan_text, app_name, engine_name):
    mesh = OrvelMesh("myapp") if plan_text is None else OrvelMesh("myapp", plan_text)
    assert mesh.app_name == app_name
    assert json.loads(mesh.start_migration("v", "a", "b"))["app_name"] == engine_name
    assert json.loads(mesh.health_snapshot())["app"] == app_name


def test_keyword_construction_and_default_plan():
    mesh = OrvelMesh(plan_json="", app_name="kw")
    assert mesh.plan_json() == '{"app_name":"kw","backends":{},"functions":[],"agents":[]}'


def test_unreadable_plan_raises_value_error():
    with pytest.raises(ValueError) as raised:
        OrvelMesh("myapp", "{ }")
    assert str(raised.value).startswith("Serialization error: missing field `app_name`")


def test_meshes_are_independent():
    first, second = OrvelMesh("a"), OrvelMesh("b")
    first.state_set("k", "1")
    assert second.state_get("k") is None
    del first
    assert second.state_keys() == []


def panic_class(testing, mesh):
    testing.inject_fault("state.set")
    try:
        mesh.state_set("k", "1")
    except BaseException as raised:  # noqa: B036 - the point is that it is no Exception
        return type(raised), raised
    pytest.fail("the injected fault did not surface")


def test_panic_exception_is_a_base_exception_created_once(testing):
    first_class, first = panic_class(testing, testing.OrvelMesh("a"))
    second_class, _ = panic_class(testing, testing.OrvelMesh("b"))
    assert first_class is second_class
    assert first_class.__name__ == "PanicException"
    assert first_class.__bases__ == (BaseException,)
    assert not issubclass(first_class, Exception)
    assert str(first) == "injected fault at state.set"


def test_panic_escapes_except_exception(testing):
    mesh = testing.OrvelMesh("a")
    testing.inject_fault("state.set")
    with pytest.raises(BaseException) as raised:
        try:
            mesh.state_set("k", "1")
        except Exception:
            pytest.fail("PanicException must not be caught by `except Exception`")
    assert type(raised.value).__name__ == "PanicException"


# Year 10000 starts 253402300800 seconds after 1970; it is a leap year.
YEAR_10000 = 253402300800


@pytest.mark.parametrize(
    "seconds,nanoseconds,text",
    [
        (0, 0, "1970-01-01T00:00:00+00:00"),
        (1796580484, 250000000, "2026-12-06T18:08:04.250+00:00"),
        (1796580484, 123456000, "2026-12-06T18:08:04.123456+00:00"),
        (1796580484, 123456700, "2026-12-06T18:08:04.123456700+00:00"),
        (YEAR_10000 - 1, 999000000, "9999-12-31T23:59:59.999+00:00"),
        (YEAR_10000, 0, "+10000-01-01T00:00:00+00:00"),
        (YEAR_10000 + (31 + 29) * 86400 + 12 * 3600 + 34 * 60 + 56, 5, "+10000-03-01T12:34:56.000000005+00:00"),
    ],
)
def test_timestamp_text(faulty_mesh, testing, seconds, nanoseconds, text):
    testing.pin_clock(seconds, nanoseconds)
    entry = json.loads(faulty_mesh.register_agent("T", "a"))
    assert entry["registered_at"] == entry["last_active"] == text


@pytest.mark.parametrize(
    "set_clock",
    [
        lambda testing: testing.shift_clock(-10**10),
        lambda testing: testing.pin_clock(-1, 999999999),
    ],
)
def test_clock_before_1970_is_a_panic_that_poisons(faulty_mesh, testing, expect_panic, set_clock):
    set_clock(testing)
    with expect_panic():
        faulty_mesh.start_migration("v", "a", "b")
    testing.shift_clock(0)
    testing.pin_clock(None)
    with pytest.raises(ValueError, match="^Migration error: lock poisoned$"):
        faulty_mesh.get_migration("v")
    faulty_mesh.state_set("k", "1")
    assert faulty_mesh.state_get("k") == "1"


