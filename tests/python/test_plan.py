"""The deployment plan: how plan text is read (records, array forms, trimming, exact fault
texts) and how `plan_json()` writes it back."""

import json

import pytest

from orvel_mesh import OrvelMesh

EMPTY = {"app_name": "", "backends": {}, "functions": [], "agents": []}


def plan_error(text):
    with pytest.raises(ValueError) as raised:
        OrvelMesh("myapp", text)
    assert type(raised.value) is ValueError
    message = raised.value.args[0]
    assert message.startswith("Serialization error: ")
    return message[len("Serialization error: ") :]


@pytest.mark.parametrize(
    "text,written",
    [
        ('{"app_name":"myapp"}', '{"app_name":"myapp","backends":{},"functions":[],"agents":[]}'),
        (
            '{"agents":["Customer"],"functions":["f","g"],"app_name":"myapp","extra":1}',
            '{"app_name":"myapp","backends":{},"functions":["f","g"],"agents":["Customer"]}',
        ),
        (
            '{"app_name":"m","backends":{"db":{"backend_type":"sqlite"}}}',
            '{"app_name":"m","backends":{"db":{"backend_type":"sqlite","config":null}},"functions":[],"agents":[]}',
        ),
        (
            '{"app_name":"m","backends":{"db":{"backend_type":"pg","config":{"b":1,"a":2}}}}',
            '{"app_name":"m","backends":{"db":{"backend_type":"pg","config":{"a":2,"b":1}}},"functions":[],"agents":[]}',
        ),
        (
            '{"app_name":"m","backends":{"db":{"config":[1.50, {"z":0,"y":-0}],"backend_type":"x","note":"n"}}}',
            (
                '{"app_name":"m","backends":{"db":{"backend_type":"x","config":[1.5,{"y":-0.0,"z":0}]}},'
                '"functions":[],"agents":[]}'
            ),
        ),
        ('["myapp"]', '{"app_name":"myapp","backends":{},"functions":[],"agents":[]}'),
        (
            '["m",{"db":["redis",{"ttl":5}]},["f"],["A"]]',
            (
                '{"app_name":"m","backends":{"db":{"backend_type":"redis","config":{"ttl":5}}},'
                '"functions":["f"],"agents":["A"]}'
            ),
        ),
        (
            '{"app_name":"m","backends":{"d\\"b\\n":{"backend_type":"x"}}}',
            '{"app_name":"m","backends":{"d\\"b\\n":{"backend_type":"x","config":null}},"functions":[],"agents":[]}',
        ),
        ('{"app_name":"caf\\u00e9\\t"}', '{"app_name":"caf\u00e9\\t","backends":{},"functions":[],"agents":[]}'),
        ('\u00a0{"app_name":"x"}\u00a0', '{"app_name":"x","backends":{},"functions":[],"agents":[]}'),
        ('\u3000\n{"app_name":"x"}\u2029', '{"app_name":"x","backends":{},"functions":[],"agents":[]}'),
    ],
)
def test_plan_is_written_back_in_field_order(text, written):
    mesh = OrvelMesh("ignored", text)
    assert mesh.plan_json() == written
    assert mesh.app_name == json.loads(written)["app_name"]


@pytest.mark.parametrize("text", ["{}", "  {}\n", " ", "\n\t", "\u00a0{}\u00a0", "\u3000", "\u2028{}\u0085"])
def test_blank_plan_or_empty_braces_give_the_default_plan(text):
    mesh = OrvelMesh("myapp", text)
    assert json.loads(mesh.plan_json()) == EMPTY
    assert mesh.app_name == ""


# Every fault is pinned down in the C++ tests; these check the diagnostics table and the
# exception through the constructor.
@pytest.mark.parametrize(
    "text,message",
    [
        ('{"app_name":5}', "invalid type: integer `5`, expected a string at line 1 column 13"),
        ('{"app_name":true}', "invalid type: boolean `true`, expected a string at line 1 column 16"),
        ('{"app_name":["x"]}', "invalid type: sequence, expected a string at line 1 column 12"),
        ('{"app_name":"x","functions":"f"}', 'invalid type: string "f", expected a sequence at line 1 column 31'),
        ('{"app_name":"a","app_name":"b"}', "duplicate field `app_name` at line 1 column 26"),
        ('{"backends":{}}', "missing field `app_name` at line 1 column 15"),
        ("null", "invalid type: null, expected struct Plan at line 1 column 4"),
        ('["x",{"db":[]}]', "invalid length 0, expected struct BackendSpec with 2 elements at line 1 column 13"),
        ("{ }", "missing field `app_name` at line 1 column 3"),
        ("[]", "invalid length 0, expected struct Plan with 4 elements at line 1 column 2"),
        ('{"app_name":"myapp","functions":null}', "invalid type: null, expected a sequence at line 1 column 36"),
        ('{"app_name":1.5}', "invalid type: floating point `1.5`, expected a string at line 1 column 15"),
        ('{"app_name":"m","x":1e400}', "number out of range at line 1 column 25"),
        ('{"app_name":"m","x":1e99999999999999999999}', "number out of range at line 1 column 32"),
        ('{"app_name":1.5e+99999999999999999999}', "number out of range at line 1 column 27"),
        ('\u00a0{"app_name":5}', "invalid type: integer `5`, expected a string at line 1 column 13"),
        ('{\n  "app_name": 5\n}', "invalid type: integer `5`, expected a string at line 2 column 15"),
    ],
)
def test_unreadable_plans(text, message):
    assert plan_error(text) == message


def test_wrong_string_is_quoted_with_escapes():
    # Reported where the string ends, which is the end of the text less its brace (bytes).
    text = '{"app_name":"m","agents":"a\\"b\\n\u00e9"}'
    column = len(text.encode()) - 1
    assert plan_error(text) == f'invalid type: string "a\\"b\\n\u00e9", expected a sequence at line 1 column {column}'


def test_later_backend_of_the_same_name_replaces_the_earlier():
    text = '{"app_name":"m","backends":{"db":{"backend_type":"a"},"db":{"backend_type":"b","config":1}}}'
    assert json.loads(OrvelMesh("m", text).plan_json())["backends"] == {"db": {"backend_type": "b", "config": 1}}


def test_backends_in_any_order():
    text = json.dumps(
        {"app_name": "m", "backends": {name: {"backend_type": name.upper()} for name in ["db", "cache", "queue"]}}
    )
    written = OrvelMesh("m", text).plan_json()
    assert written.startswith('{"app_name":"m","backends":{')
    assert written.endswith('},"functions":[],"agents":[]}')
    assert json.loads(written)["backends"] == {
        name: {"backend_type": name.upper(), "config": None} for name in ["db", "cache", "queue"]
    }


def test_written_plan_reads_back_to_itself():
    text = (
        '{"functions":["f"],"app_name":"a\\u0001","backends":{"x":{"config":{"k":[{"b":0,"a":1}]},'
        '"backend_type":"t"}},"agents":["A","B"]}'
    )
    written = OrvelMesh("m", text).plan_json()
    assert OrvelMesh("m", written).plan_json() == written
