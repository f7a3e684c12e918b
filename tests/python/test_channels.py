"""Topic channels: publishing, topic creation and poisoning."""

import json

import pytest

POISONED = "Channel error: channel lock poisoned"


def topics(mesh):
    return json.loads(mesh.health_snapshot())["channels"]["topics"]


def test_first_publish_creates_the_topic(mesh):
    assert topics(mesh) == 0
    result = mesh.publish("orders", '{"id": 1}')
    assert type(result) is int and result == 0
    assert topics(mesh) == 1
    assert mesh.publish(topic="orders", payload_json="2") == 0
    assert topics(mesh) == 1


@pytest.mark.parametrize("payload", ["{}", '{"a":[1,{"b":null}]}', "3", "-1.5e3", '"text"', "true", "false", "null",
                                     "[1, 2]", " \t\n{ }\r\n ", '"\\u00e9\\ud83d\\ude00"'])
def test_any_json_value_is_a_payload(mesh, payload):
    assert mesh.publish("t", payload) == 0
    assert topics(mesh) == 1


@pytest.mark.parametrize("names,count", [
    (["a", "b", "c", "a", "b"], 3),
    (["", ""], 1),
    (["Topic", "topic", "TOPIC"], 3),
    (["t", "t ", " t"], 3),
    (["caf\u00e9", "cafe\u0301"], 2),
])
def test_names_match_exactly(mesh, names, count):
    for name in names:
        assert mesh.publish(name, "{}") == 0
    assert topics(mesh) == count


@pytest.mark.parametrize("payload", ["", "   ", "{", '{"a":1', "1 2", "{} {}", "[1,]", "nul", "NaN", "'x'",
                                     "[" * 128 + "]" * 128])
def test_unreadable_payload_creates_nothing(mesh, payload):
    mesh.publish("existing", "1")
    with pytest.raises(ValueError) as raised:
        mesh.publish("new", payload)
    assert raised.value.args[0].startswith("Serialization error: ")
    assert " at line " in raised.value.args[0]
    assert topics(mesh) == 1


def test_many_topics_are_counted(mesh):
    for index in range(2000):
        mesh.publish(f"topic-{index % 1500}", str(index))
    assert topics(mesh) == 1500


def test_an_abandoned_publish_poisons_only_the_hub(faulty_mesh, testing, expect_panic):
    mesh = faulty_mesh
    mesh.publish("a", "1")
    testing.inject_fault("channels.publish")
    with expect_panic():
        mesh.publish("b", "1")

    for topic in ["a", "b", "c", ""]:
        with pytest.raises(RuntimeError) as refused:
            mesh.publish(topic, "{}")
        assert refused.value.args == (POISONED,)
    # The payload is read before the hub is reached.
    with pytest.raises(ValueError, match="^Serialization error: "):
        mesh.publish("a", "{")
    assert topics(mesh) == 0

    mesh.state_set("k", "1")
    mesh.register_agent("T", "a")
    mesh.start_migration("v", "a", "b")
    snapshot = json.loads(mesh.health_snapshot())
    assert (snapshot["state"]["keys"], snapshot["agents"]["total"], snapshot["migrations"]["active"]) == (1, 1, 1)


def test_clock_fault_after_the_lock_does_not_poison(faulty_mesh, testing, expect_panic):
    # The time is read once the hub's lock is given back: the topic exists and the hub works.
    testing.shift_clock(-(10**10))
    with expect_panic():
        faulty_mesh.publish("t", "1")
    testing.shift_clock(0)
    assert topics(faulty_mesh) == 1
    assert faulty_mesh.publish("t", "2") == 0
    assert faulty_mesh.publish("u", "2") == 0
    assert topics(faulty_mesh) == 2
