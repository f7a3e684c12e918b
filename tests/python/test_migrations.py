"""Migration records, their JSON form and the stage machine."""

import json
import re

import pytest

import orvel_mesh

MEMBERS = ["variable_name", "source_backend", "target_backend", "stage", "stage_name", "started_at", "advanced_at",
           "discrepancy_count", "keys_migrated", "app_name"]
STAGES = ["idle", "shadow_write", "shadow_read", "dual_read", "new_primary", "cleanup", "done"]
TIMESTAMP = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d{3}|\.\d{6}|\.\d{9})?\+00:00$")
MAX = 2**64 - 1
POISONED = "Migration error: lock poisoned"


def record(text):
    return json.loads(text)


def members(text):
    return [name for name, _ in json.loads(text, object_pairs_hook=lambda pairs: pairs)]


def active(mesh):
    return json.loads(mesh.health_snapshot())["migrations"]["active"]


def bring_to(mesh, name, stage):
    """A record of `name` at `stage`, reached the only ways the engine allows."""
    mesh.start_migration(name, "sqlite", "redis")
    if stage == 0:
        mesh.rollback_migration(name)
    for _ in range(1, stage):
        mesh.advance_migration(name)


def test_new_record(mesh):
    text = mesh.start_migration("counter.Counts", "sqlite", "redis")
    assert members(text) == MEMBERS
    started = record(text)["started_at"]
    assert TIMESTAMP.match(started)
    assert text == (
        '{"variable_name":"counter.Counts","source_backend":"sqlite","target_backend":"redis","stage":1,'
        f'"stage_name":"shadow_write","started_at":"{started}","advanced_at":"{started}",'
        '"discrepancy_count":0,"keys_migrated":0,"app_name":"myapp"}'
    )
    assert mesh.get_migration("counter.Counts") == text


@pytest.mark.parametrize("stage", range(7))
@pytest.mark.parametrize("operation", ["start", "advance", "rollback"])
def test_stage_machine(mesh, stage, operation):
    bring_to(mesh, "v", stage)
    before = mesh.get_migration("v")
    expected_stage = {
        "start": 1 if stage == 6 else None,
        "advance": stage + 1 if stage < 6 else None,
        "rollback": stage - 1 if 0 < stage < 6 else None,
    }[operation]
    expected_error = {
        "start": f"Migration error: Migration for 'v' already in progress at stage {stage} ({STAGES[stage]})",
        "advance": "Migration error: Migration for 'v' is already complete",
        "rollback": ("Migration error: Already at initial stage \u2014 cannot roll back further" if stage == 0
                     else "Migration error: Cannot roll back a completed migration"),
    }[operation]

    def run():
        if operation == "start":
            return mesh.start_migration("v", "other", "backends")
        if operation == "advance":
            return mesh.advance_migration("v")
        return mesh.rollback_migration("v")

    if expected_stage is None:
        with pytest.raises(ValueError) as raised:
            run()
        assert raised.value.args == (expected_error,)
        assert mesh.get_migration("v") == before
    else:
        text = run()
        assert (record(text)["stage"], record(text)["stage_name"]) == (expected_stage, STAGES[expected_stage])
        assert mesh.get_migration("v") == text


def test_advancing_to_done(mesh):
    mesh.start_migration("v", "a", "b")
    assert [record(mesh.advance_migration("v"))["stage_name"] for _ in range(5)] == STAGES[2:]
    with pytest.raises(ValueError, match="^Migration error: Migration for 'v' is already complete$"):
        mesh.advance_migration("v")


def test_totals_add_up_and_survive_rollback(mesh):
    mesh.start_migration("v", "a", "b")
    mesh.advance_migration("v", 3, 10)
    advanced = record(mesh.advance_migration("v", discrepancy_count=2, keys_migrated=5))
    assert (advanced["discrepancy_count"], advanced["keys_migrated"]) == (5, 15)
    rolled_back = record(mesh.rollback_migration("v"))
    assert (rolled_back["discrepancy_count"], rolled_back["keys_migrated"]) == (5, 15)
    assert rolled_back["started_at"] == advanced["started_at"]


@pytest.mark.parametrize(
    "first,second,total",
    [(MAX - 1, 1, MAX), (MAX - 1, 2, MAX), (MAX, MAX, MAX), (MAX, 0, MAX), (2**63, 2**63, MAX), (1, 2, 3)],
)
def test_totals_stop_at_the_largest_count(mesh, first, second, total):
    mesh.start_migration("v", "a", "b")
    mesh.advance_migration("v", first, first)
    text = mesh.advance_migration("v", second, second)
    assert record(text)["stage"] == 3
    assert f'"discrepancy_count":{total},"keys_migrated":{total},' in text


def test_rollback_to_idle_and_back(mesh):
    assert record(mesh.start_migration("v", "a", "b"))["stage"] == 1
    idle = record(mesh.rollback_migration("v"))
    assert (idle["stage"], idle["stage_name"]) == (0, "idle")
    with pytest.raises(ValueError) as raised:
        mesh.rollback_migration("v")
    assert raised.value.args[0] == "Migration error: Already at initial stage \u2014 cannot roll back further"
    with pytest.raises(ValueError, match=r"^Migration error: Migration for 'v' already in progress at stage 0 \(idle\)$"):
        mesh.start_migration("v", "a", "b")
    assert active(mesh) == 1
    back = record(mesh.advance_migration("v"))
    assert (back["stage"], back["stage_name"]) == (1, "shadow_write")


def test_restart_after_completion_replaces_the_record(faulty_mesh, testing):
    bring_to(faulty_mesh, "v", 6)
    testing.shift_clock(3600)
    old = record(faulty_mesh.get_migration("v"))
    new = record(faulty_mesh.start_migration("v", "c", "d"))
    assert (new["stage"], new["source_backend"], new["discrepancy_count"]) == (1, "c", 0)
    assert new["started_at"] != old["started_at"]
    assert new["started_at"] == new["advanced_at"]
    assert [r["variable_name"] for r in record(faulty_mesh.list_migrations())] == ["v"]


def test_stage_changes_renew_only_advanced_at(faulty_mesh, testing):
    started = record(faulty_mesh.start_migration("v", "a", "b"))
    testing.shift_clock(3600)
    advanced = record(faulty_mesh.advance_migration("v"))
    testing.shift_clock(7200)
    rolled_back = record(faulty_mesh.rollback_migration("v"))
    assert advanced["started_at"] == rolled_back["started_at"] == started["started_at"]
    assert len({started["advanced_at"], advanced["advanced_at"], rolled_back["advanced_at"]}) == 3
    assert all(TIMESTAMP.match(r["advanced_at"]) for r in (started, advanced, rolled_back))


@pytest.mark.parametrize("name", ["missing", "", 'q"uote', "new\nline", "caf\u00e9"])
def test_unknown_variables(mesh, name):
    mesh.start_migration("other", "a", "b")
    assert mesh.get_migration(name) is None
    for operation in (mesh.advance_migration, mesh.rollback_migration):
        with pytest.raises(ValueError) as raised:
            operation(name)
        assert raised.value.args == (f"Migration error: No migration in progress for '{name}'",)


@pytest.mark.parametrize("name,escaped", [('a"b', 'a\\"b'), ("a\x01b", "a\\u0001b"), ("a\\b", "a\\\\b"),
                                          ("a\nb", "a\\nb"), ("\u00e9", "\u00e9")])
def test_names_are_escaped_in_json_and_verbatim_in_messages(mesh, name, escaped):
    text = mesh.start_migration(name, name, name)
    assert text.startswith(f'{{"variable_name":"{escaped}","source_backend":"{escaped}","target_backend":"{escaped}",')
    assert record(text)["variable_name"] == name
    with pytest.raises(ValueError) as raised:
        mesh.start_migration(name, "a", "b")
    assert raised.value.args[0] == f"Migration error: Migration for '{name}' already in progress at stage 1 (shadow_write)"


def test_listing_and_counting(mesh):
    assert mesh.list_migrations() == "[]"
    assert active(mesh) == 0
    for name, stage in [("idle", 0), ("middle", 3), ("finished", 6)]:
        bring_to(mesh, name, stage)
    listed = mesh.list_migrations()
    assert sorted(record(listed), key=lambda r: r["variable_name"]) == sorted(
        (record(mesh.get_migration(n)) for n in ["idle", "middle", "finished"]), key=lambda r: r["variable_name"])
    for name in ["idle", "middle", "finished"]:
        assert mesh.get_migration(name) in listed
    assert active(mesh) == 2
    assert repr(mesh).endswith("migrations=2)")


def test_names_differing_in_case_are_distinct(mesh):
    mesh.start_migration("a.B", "x", "y")
    mesh.start_migration("a.b", "x", "y")
    mesh.advance_migration("a.b")
    assert (record(mesh.get_migration("a.B"))["stage"], record(mesh.get_migration("a.b"))["stage"]) == (1, 2)
    assert active(mesh) == 2


@pytest.mark.parametrize("app_name,plan,stamped", [
    ("myapp", "", "myapp"),
    ("myapp", "{}", "myapp"),
    ("myapp", '{"app_name":"web"}', "web"),
    ("myapp", '{"app_name":""}', "myapp"),
])
def test_records_carry_the_engine_name(app_name, plan, stamped):
    mesh = orvel_mesh.OrvelMesh(app_name, plan)
    assert record(mesh.start_migration("v", "a", "b"))["app_name"] == stamped


MIGRATION_CALLS = [
    ("start_migration", ("w", "a", "b")),
    ("advance_migration", ("v",)),
    ("advance_migration", ("v", 1, 1)),
    ("rollback_migration", ("v",)),
    ("get_migration", ("v",)),
    ("get_migration", ("absent",)),
    ("list_migrations", ()),
]


def poison_by_fault(site, call):
    def poison(mesh, testing):
        testing.inject_fault(site)
        call(mesh)
    return poison


def poison_by_clock(mesh, testing):
    testing.shift_clock(-(10**10))
    mesh.advance_migration("v")


@pytest.mark.parametrize("poison", [
    poison_by_fault("migrations.start", lambda mesh: mesh.start_migration("w", "a", "b")),
    poison_by_fault("migrations.advance", lambda mesh: mesh.advance_migration("v", 1, 1)),
    poison_by_fault("migrations.rollback", lambda mesh: mesh.rollback_migration("v")),
    poison_by_clock,
])
def test_an_abandoned_change_poisons_only_the_engine(faulty_mesh, testing, poison, expect_panic):
    mesh = faulty_mesh
    bring_to(mesh, "v", 2)
    with expect_panic():
        poison(mesh, testing)
    testing.shift_clock(0)

    for name, arguments in MIGRATION_CALLS:
        with pytest.raises(ValueError) as refused:
            getattr(mesh, name)(*arguments)
        assert refused.value.args == (POISONED,), name
    assert active(mesh) == 0
    assert repr(mesh).endswith("migrations=0)")
    mesh.state_set("k", "1")
    mesh.register_agent("T", "a")
    assert mesh.publish("t", "1") == 0
    assert json.loads(mesh.health_snapshot())["state"]["keys"] == 1


def test_an_abandoned_read_does_not_poison(faulty_mesh, testing, expect_panic):
    bring_to(faulty_mesh, "v", 2)
    testing.inject_fault("migrations.get")
    with expect_panic():
        faulty_mesh.get_migration("v")
    assert record(faulty_mesh.get_migration("v"))["stage"] == 2
    assert record(faulty_mesh.advance_migration("v"))["stage"] == 3
    assert active(faulty_mesh) == 1
