"""What must hold for any text given to the JSON reader and the plan reader, checked
through the public methods. Shared by the fuzz targets and the corpus replay test."""

import json

import json_model
import plan_model
from json_model import Refused

SERIALIZATION = "Serialization error: "


def has_lone_surrogate(text):
    return any(0xD800 <= ord(c) <= 0xDFFF for c in text)


def check_document(mesh, text):
    """Stores `text` as a state value: it is stored in canonical form exactly when the model
    reads it, else refused with one well-formed error and nothing stored."""
    mesh.state_delete("doc")
    try:
        expected = json_model.read(text)
    except Refused:
        expected = Refused
    try:
        mesh.state_set("doc", text)
    except UnicodeEncodeError:
        assert has_lone_surrogate(text)
        assert not mesh.state_exists("doc")
        return
    except ValueError as refused:
        message = str(refused)
        assert message.startswith(SERIALIZATION), message
        json_model.check_error_text(text, message[len(SERIALIZATION):])
        assert expected is Refused, f"refused a document the model reads: {message}"
        assert not mesh.state_exists("doc")
        return
    assert not has_lone_surrogate(text)
    assert expected is not Refused, "read a document the model refuses"
    stored = mesh.state_get("doc")
    value = json_model.read(stored)
    assert json_model.same(value, expected), (stored, expected)
    assert stored == json_model.write(value), f"not canonical: {stored!r}"
    mesh.state_set("again", stored)
    assert mesh.state_get("again") == stored, "parse -> write -> parse is no fixed point"


def _plan_pairs(text):
    return json.loads(text, object_pairs_hook=lambda pairs: pairs)


def check_plan(mesh_class, text):
    """Constructs a mesh from plan text: it succeeds exactly when the model reads the plan,
    gives that plan back in canonical form, and refuses anything else with one error."""
    try:
        expected = plan_model.expected_plan(text, "fallback")
    except Refused:
        expected = Refused
    try:
        mesh = mesh_class("fallback", text)
    except UnicodeEncodeError:
        assert has_lone_surrogate(text)
        return
    except ValueError as refused:
        message = str(refused)
        assert message.startswith(SERIALIZATION), message
        json_model.check_error_text(plan_model.trim(text), message[len(SERIALIZATION):],
                                    json_model.DESCRIPTIONS | set(plan_model.DESCRIPTIONS))
        assert expected is Refused, f"refused a plan the model reads: {message}"
        return
    assert expected is not Refused, "read a plan the model refuses"
    written = mesh.plan_json()
    assert [name for name, _ in _plan_pairs(written)] == list(plan_model.PLAN_FIELDS), written
    for _, entry in dict(_plan_pairs(written))["backends"]:
        assert [name for name, _ in entry] == list(plan_model.BACKEND_FIELDS), written
    got = json_model.read(written)
    assert json_model.same(got, expected), (written, expected)
    for backend in got["backends"].values():
        assert json_model.write(backend["config"]) in written
    assert mesh.app_name == expected["app_name"]
    engine_name = json.loads(mesh.start_migration("v", "a", "b"))["app_name"]
    assert engine_name == (expected["app_name"] or "fallback")
    again = mesh_class("other", written)
    assert json_model.same(json_model.read(again.plan_json()), got), "plan text is no fixed point"
