"""JSON text rules seen through the state store: strict reading with exact fault texts,
canonical writing, number forms, and float digits against Python's own shortest form."""

import json
import math
import random
import re
import struct
from decimal import Decimal

import pytest

import documents


def stored(mesh, text):
    mesh.state_set("k", text)
    return mesh.state_get("k")


def refusal(mesh, text):
    with pytest.raises(ValueError) as raised:
        mesh.state_set("k", text)
    assert type(raised.value) is ValueError
    assert len(raised.value.args) == 1
    return raised.value.args[0]


# The exact texts and positions are covered in the C++ tests; these check them through
# Python's text conversion (columns count UTF-8 bytes) and the exception.
@pytest.mark.parametrize(
    "text,message",
    [
        ("", "EOF while parsing a value at line 1 column 0"),
        ("[1,]", "trailing comma at line 1 column 4"),
        ('{"a" 1}', "expected `:` at line 1 column 6"),
        ("nulx", "expected ident at line 1 column 4"),
        ('["\u00e9", x]', "expected value at line 1 column 8"),
        ('"\\ud800\\u0041"', "lone leading surrogate in hex escape at line 1 column 13"),
        ("1e400", "number out of range at line 1 column 5"),
        # A long positive exponent is out of range at the digit that passes 2147483647.
        ("1e99999999999999999999", "number out of range at line 1 column 12"),
        ("[0.4e006699999999999]", "number out of range at line 1 column 17"),
        ("1.5e+99999999999999999999", "number out of range at line 1 column 15"),
        ("1e2147483648", "number out of range at line 1 column 12"),
        ("123456789012345678901234567890. 1", "invalid number at line 1 column 32"),
        ('"a\tb"', "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"),
        ("1 2", "trailing characters at line 1 column 3"),
        ("\u00a01", "expected value at line 1 column 1"),
        ("[\n1,\n\n  x]", "expected value at line 4 column 3"),
        ("[" * 128 + "]" * 128, "recursion limit exceeded at line 1 column 128"),
    ],
)
def test_fault_texts(mesh, text, message):
    assert refusal(mesh, text) == "Serialization error: " + message


@pytest.mark.parametrize(
    "text,canonical",
    [
        ('{"b": 1, "a": [true, null]}', '{"a":[true,null],"b":1}'),
        ('{"a": 1, "a": 2}', '{"a":2}'),
        ('{"b":1,"B":2,"":3,"\u00e9":4,"\u20ac":5}', '{"":3,"B":2,"b":1,"\u00e9":4,"\u20ac":5}'),
        ('"\\u00e9"', '"\u00e9"'),
        ('"\\u0001"', '"\\u0001"'),
        ('"\\/"', '"/"'),
        ('"\\ud83d\\ude00"', '"\U0001f600"'),
        ("1.50", "1.5"),
        ("1e2", "100.0"),
        ("-0.0", "-0.0"),
        ("0.000001", "1e-6"),
        ("0.00001", "0.00001"),
        ("1e15", "1000000000000000.0"),
        ("1e16", "1e+16"),
        ("18446744073709551615", "18446744073709551615"),
        ("18446744073709551616", "1.8446744073709552e+19"),
        ("-9223372036854775808", "-9223372036854775808"),
        ("-1e-400", "-0.0"),
        ("1e-99999999999999999999", "0.0"),
        ("-0.0e99999999999999999999", "-0.0"),
    ],
)
def test_canonical_text(mesh, text, canonical):
    assert stored(mesh, text) == canonical


def test_strings_are_escaped_minimally(mesh):
    every_character = "".join(chr(c) for c in range(1, 0x80)) + "\u00e9\u2028\U0001f600"
    text = stored(mesh, json.dumps(every_character))
    # Python writes strings the same way when it leaves non-ASCII alone.
    assert text == json.dumps(every_character, ensure_ascii=False)
    assert json.loads(text) == every_character


def random_text(rng):
    pools = [range(0x20), range(0x20, 0x80), range(0x80, 0x800), range(0x800, 0xD800), range(0xE000, 0x110000)]
    return "".join(chr(rng.choice(rng.choice(pools))) for _ in range(rng.randrange(12)))


def random_value(rng, depth=0):
    kind = rng.randrange(7 if depth < 4 else 4)
    if kind == 0:
        return rng.choice([None, True, False])
    if kind == 1:
        return rng.randrange(-(2**63), 2**64)
    if kind == 2:
        return random_text(rng)
    if kind == 3:
        return rng.randrange(-1000, 1000)
    if kind == 4:
        return [random_value(rng, depth + 1) for _ in range(rng.randrange(4))]
    return {random_text(rng): random_value(rng, depth + 1) for _ in range(rng.randrange(5))}


def test_random_documents_come_back_sorted_and_compact(mesh):
    rng = random.Random(11)
    for _ in range(400):
        value = random_value(rng)
        given = json.dumps(value, ensure_ascii=rng.random() < 0.5, indent=rng.choice([None, 1]))
        expected = json.dumps(value, ensure_ascii=False, sort_keys=True, separators=(",", ":"))
        assert stored(mesh, given) == expected


def test_later_duplicate_members_win(mesh):
    rng = random.Random(5)
    for _ in range(200):
        names = [rng.choice("abcAB\u00e9") for _ in range(rng.randrange(1, 8))]
        members = [(name, index) for index, name in enumerate(names)]
        text = "{" + ",".join(f"{json.dumps(n)}:{v}" for n, v in members) + "}"
        expected = dict(members)
        assert stored(mesh, text) == json.dumps(expected, ensure_ascii=False, sort_keys=True, separators=(",", ":"))


def shortest_digits(text):
    """Significant digits and exponent of a decimal text, however it is laid out."""
    sign, digits, exponent = Decimal(text).normalize().as_tuple()
    return sign, digits, exponent


def check_layout(value, text):
    magnitude = abs(value)
    if magnitude == 0 or 1e-5 <= magnitude < 1e16:
        assert re.fullmatch(r"-?\d+\.\d+", text), text
    else:
        assert re.fullmatch(r"-?\d(\.\d+)?e[+-][1-9]\d*", text), text


def random_doubles(count, seed):
    rng = random.Random(seed)
    for _ in range(count):
        value = struct.unpack("<d", rng.getrandbits(64).to_bytes(8, "little"))[0]
        if math.isfinite(value):
            yield value
        yield rng.uniform(-1e6, 1e6)
        yield 10.0 ** rng.uniform(-30, 30)


def test_float_digits_match_python_repr(mesh):
    for value in random_doubles(6000, 3):
        text = stored(mesh, repr(value))
        if value == 0:
            assert text == ("-0.0" if math.copysign(1, value) < 0 else "0.0")
            continue
        assert shortest_digits(text) == shortest_digits(repr(value)), (value, text)
        assert float(text) == value
        check_layout(value, text)


@pytest.fixture(scope="session")
def generated_documents(tmp_path_factory):
    return documents.ensure(tmp_path_factory.mktemp("documents"))


@pytest.mark.parametrize("name", documents.NAMES)
def test_the_generator_makes_the_recorded_bytes(generated_documents, name):
    assert documents.fingerprint(generated_documents[name].read_bytes()) == documents.RECORDED[name]


@pytest.mark.parametrize("name", [*documents.NAMES, "twitter", "citm_catalog", "canada"])
def test_benchmark_documents(mesh, generated_documents, reference_part, name):
    path = generated_documents.get(name) or reference_part("bench") / f"{name}.json"
    text = path.read_text(encoding="utf-8")
    canonical = stored(mesh, text)
    assert json.loads(canonical) == json.loads(text)
    assert stored(mesh, canonical) == canonical
    assert "\n" not in canonical
