"""An independent model of reading a deployment plan: the plan that a text should give,
as the dictionary its written form parses to, or Refused."""

import re

from json_model import Refused, read

# Characters with the Unicode White_Space property, trimmed from both ends of a plan.
WHITE_SPACE = "".join(map(chr, [*range(0x09, 0x0E), 0x20, 0x85, 0xA0, 0x1680, *range(0x2000, 0x200B),
                                0x2028, 0x2029, 0x202F, 0x205F, 0x3000]))

# Descriptions of a plan that reads as JSON but not as a plan.
DESCRIPTIONS = (
    re.compile(r"invalid type: .+, expected (a string|a sequence|a map|struct Plan|struct BackendSpec)", re.DOTALL),
    re.compile(r"missing field `(app_name|backend_type)`"),
    re.compile(r"duplicate field `(app_name|backends|functions|agents|backend_type|config)`"),
    re.compile(r"invalid length 0, expected struct (Plan with 4|BackendSpec with 2) elements"),
)

PLAN_FIELDS = ("app_name", "backends", "functions", "agents")
BACKEND_FIELDS = ("backend_type", "config")


class Members(list):
    """An object's members in text order, duplicates kept."""


def trim(text):
    return text.strip(WHITE_SPACE)


def expected_plan(text, app_name):
    """The written plan (as a dict) that `OrvelMesh(app_name, text)` should hold; raises
    Refused when the text is no plan."""
    if text == "":
        return {"app_name": app_name, "backends": {}, "functions": [], "agents": []}
    text = trim(text)
    if text in ("", "{}"):
        return {"app_name": "", "backends": {}, "functions": [], "agents": []}
    document = read(text, object_pairs_hook=Members)
    plan = _record(document, PLAN_FIELDS, "app_name")
    return {
        "app_name": _text(plan["app_name"]),
        "backends": _backends(plan.get("backends", Members())),
        "functions": _texts(plan.get("functions", [])),
        "agents": _texts(plan.get("agents", [])),
    }


def _record(value, fields, required):
    """The fields of an object or array record; others are dropped."""
    if isinstance(value, Members):
        found = {}
        for name, member in value:
            if name in fields:
                if name in found:
                    raise Refused(f"duplicate field `{name}`")
                found[name] = member
    elif isinstance(value, list):
        if not value:
            raise Refused("invalid length 0")
        if len(value) > len(fields):
            raise Refused("trailing characters")
        found = dict(zip(fields, value))
    else:
        raise Refused("invalid type")
    if required not in found:
        raise Refused(f"missing field `{required}`")
    return found


def _text(value):
    if not isinstance(value, str):
        raise Refused("invalid type, expected a string")
    return value


def _texts(value):
    if not isinstance(value, list) or isinstance(value, Members):
        raise Refused("invalid type, expected a sequence")
    return [_text(element) for element in value]


def _backends(value):
    if not isinstance(value, Members):
        raise Refused("invalid type, expected a map")
    backends = {}
    for name, entry in value:
        fields = _record(entry, BACKEND_FIELDS, "backend_type")
        backends[name] = {"backend_type": _text(fields["backend_type"]),
                          "config": _plain(fields.get("config"))}
    return backends


def _plain(value):
    """A generic value: objects keep the later of duplicate members."""
    if isinstance(value, Members):
        return {name: _plain(member) for name, member in value}
    if isinstance(value, list):
        return [_plain(element) for element in value]
    return value
