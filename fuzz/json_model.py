"""An independent model of how the mesh reads and writes JSON text, used as the oracle of
the fuzz targets and of the corpus replay test.

The model leans on Python's own json module for the grammar and adds what the mesh does
differently: integers that do not fit 64 bits become floats, -0 is a float, numbers
beyond the float range, lone surrogate escapes, NaN and Infinity and more than 127 open
containers are refused.
"""

import json
import math
import re
from decimal import Decimal

MAX_DEPTH = 127
U64_MAX = 2**64 - 1
I64_MIN = -(2**63)

# Every description the reader may give for a refused document.
DESCRIPTIONS = frozenset({
    "EOF while parsing a value", "EOF while parsing a list", "EOF while parsing an object",
    "EOF while parsing a string", "expected `:`", "expected `,` or `]`", "expected `,` or `}`",
    "expected ident", "expected value", 'expected `"`', "unexpected end of hex escape",
    "trailing characters", "trailing comma", "key must be a string", "invalid number",
    "number out of range", "recursion limit exceeded",
    "control character (\\u0000-\\u001F) found while parsing a string", "invalid escape",
    "lone leading surrogate in hex escape", "invalid unicode code point",
})

ERROR = re.compile(r"(.+) at line (\d+) column (\d+)", re.DOTALL)


class Refused(Exception):
    """The model refuses the document."""


def _integer(literal):
    value = int(literal)
    if literal.startswith("-"):
        if value == 0 or value < I64_MIN:
            return _float(literal)
        return value
    return value if value <= U64_MAX else _float(literal)


def _float(literal):
    value = float(literal)
    if math.isinf(value):
        raise Refused("number out of range")
    return value


def _constant(name):
    raise Refused(name)


def _depth_and_surrogates(value):
    """The nesting depth of `value`; refuses lone surrogates anywhere in it."""
    deepest = 0
    pending = [(value, 0)]
    while pending:
        item, depth = pending.pop()
        if isinstance(item, str):
            if any(0xD800 <= ord(c) <= 0xDFFF for c in item):
                raise Refused("lone surrogate")
        elif isinstance(item, tuple):  # a member (name, value) of an object read as pairs
            pending.extend((element, depth) for element in item)
            continue
        elif isinstance(item, list):
            depth += 1
            pending.extend((element, depth) for element in item)
        elif isinstance(item, dict):
            depth += 1
            pending.extend((name, depth) for name in item)
            pending.extend((element, depth) for element in item.values())
        deepest = max(deepest, depth)
    return deepest


def read(text, object_pairs_hook=None):
    """The value the mesh should read from `text`; raises Refused when it should refuse it."""
    try:
        value = json.loads(text, parse_int=_integer, parse_float=_float, parse_constant=_constant,
                           object_pairs_hook=object_pairs_hook)
    except (ValueError, RecursionError) as refusal:
        raise Refused(str(refusal)) from None
    if _depth_and_surrogates(value) > MAX_DEPTH:
        raise Refused("too deep")
    return value


def write(value):
    """The canonical compact text of a value read by `read`."""
    out = []
    _write(value, out)
    return "".join(out)


def _write(value, out):
    if value is None:
        out.append("null")
    elif value is True:
        out.append("true")
    elif value is False:
        out.append("false")
    elif isinstance(value, int):
        out.append(str(value))
    elif isinstance(value, float):
        out.append(write_float(value))
    elif isinstance(value, str):
        out.append(quote(value))
    elif isinstance(value, list):
        out.append("[")
        for index, element in enumerate(value):
            if index:
                out.append(",")
            _write(element, out)
        out.append("]")
    else:
        out.append("{")
        for index, name in enumerate(sorted(value, key=lambda name: name.encode("utf-8"))):
            if index:
                out.append(",")
            out.append(quote(name))
            out.append(":")
            _write(value[name], out)
        out.append("}")


_ESCAPES = {'"': '\\"', "\\": "\\\\", "\b": "\\b", "\f": "\\f", "\n": "\\n", "\r": "\\r", "\t": "\\t"}


def quote(text):
    return '"' + "".join(_ESCAPES.get(c) or (f"\\u{ord(c):04x}" if c < " " else c) for c in text) + '"'


def write_float(value):
    if not math.isfinite(value):
        return "null"
    sign = "-" if math.copysign(1.0, value) < 0 else ""
    if value == 0:
        return sign + "0.0"
    _, digit_tuple, exponent = Decimal(repr(abs(value))).as_tuple()
    written = "".join(map(str, digit_tuple))
    digits = written.rstrip("0")
    exponent += len(written) - len(digits)
    first = len(digits) - 1 + exponent  # decimal exponent of the first significant digit
    if -5 <= first <= 15:
        if first >= 0:
            whole = digits[:first + 1].ljust(first + 1, "0")
            return f"{sign}{whole}.{digits[first + 1:] or '0'}"
        return f"{sign}0.{'0' * (-first - 1)}{digits}"
    rest = f".{digits[1:]}" if len(digits) > 1 else ""
    return f"{sign}{digits[0]}{rest}e{'+' if first >= 0 else '-'}{abs(first)}"


def same(a, b):
    """Equal values of the same forms; floats may differ in their last bit."""
    if isinstance(a, bool) or isinstance(b, bool) or a is None or b is None:
        return a is b
    if type(a) is not type(b):
        return False
    if isinstance(a, float):
        return (a == b and math.copysign(1, a) == math.copysign(1, b)) or \
            a in (math.nextafter(b, math.inf), math.nextafter(b, -math.inf))
    if isinstance(a, list):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if isinstance(a, dict):
        return a.keys() == b.keys() and all(same(a[name], b[name]) for name in a)
    return a == b


def check_error_text(text, message, descriptions=DESCRIPTIONS):
    """`message` is "{description} at line L column C" with a known description and a
    position inside `text`; returns the description."""
    match = ERROR.fullmatch(message)
    assert match, f"malformed error text {message!r}"
    description, line, column = match.group(1), int(match.group(2)), int(match.group(3))
    assert description in descriptions or any(
        isinstance(d, re.Pattern) and d.fullmatch(description) for d in descriptions), \
        f"unknown description {description!r}"
    lines = text.encode("utf-8", "surrogatepass").split(b"\n")
    assert 1 <= line <= len(lines), f"line {line} of {len(lines)} in {message!r}"
    assert 0 <= column <= len(lines[line - 1]), f"column {column} beyond line {line} in {message!r}"
    if description.startswith("EOF while"):
        # The text ended early: the position is its very end.
        assert (line, column) == (len(lines), len(lines[-1])), f"EOF reported before the end: {message!r}"
    return description
