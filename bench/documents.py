"""The three benchmark documents the project makes for itself, with the character of the three
standard ones: a timeline of posts heavy in text and Unicode (CJK, emoji, escapes), an event
catalogue of many small objects of a few shapes with integer ids, and country outlines made of
long arrays of float coordinates. A seeded generator of its own (not the random module, whose
streams may change) makes the same bytes on every run and every Python; RECORDED pins them.

    python bench/documents.py [DIRECTORY]    writes them (default build/bench-documents)
"""

import hashlib
import sys
from pathlib import Path

DIRECTORY = Path(__file__).resolve().parents[1] / "build" / "bench-documents"
NAMES = ("timeline", "catalogue", "outlines")
# name -> (size in bytes, SHA-256): what the generator must keep making.
RECORDED = {
    "timeline": (632738, "7a4e517f2b2c0f37c5a9ad4496177ee85b99437f6e339ab2ebceb0f4c06f31c7"),
    "catalogue": (1712080, "08ba1da5df31e2e48c663fb8c3998270776dcc91a59b5584c9eb3fc207ff775a"),
    "outlines": (2217966, "bb150ee32a88518091844c87ff4dc416c82b388249ed1d3347cfbf6e4fc8c8bc"),
}

MASK = 2**64 - 1


class Stream:
    """splitmix64: a tiny generator whose output is fixed by its seed alone."""

    def __init__(self, seed):
        self.state = seed & MASK

    def next(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & MASK
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK
        return z ^ (z >> 31)

    def below(self, bound):
        return self.next() % bound

    def between(self, low, high):
        return low + self.below(high - low + 1)

    def pick(self, items):
        return items[self.below(len(items))]

    def chance(self, percent):
        return self.below(100) < percent


# Writing: insertion-ordered dicts, lists, str, int, bool, None, and the three kinds below.

class Escaped(str):
    """Text written with every non-ASCII character as a \\u escape (pairs above U+FFFF)."""


class Number(str):
    """A number already written out, such as a float's digits."""


class Compact:
    """A value written without line breaks inside an indented document."""

    def __init__(self, value):
        self.value = value


SHORT_ESCAPES = {'"': '\\"', "\\": "\\\\", "\n": "\\n", "\r": "\\r", "\t": "\\t"}


def quote(text, escape_solidus):
    out = ['"']
    for character in text:
        code = ord(character)
        if character in SHORT_ESCAPES:
            out.append(SHORT_ESCAPES[character])
        elif character == "/" and escape_solidus:
            out.append("\\/")
        elif code < 0x20 or (code > 0x7E and isinstance(text, Escaped)):
            if code > 0xFFFF:
                code -= 0x10000
                out.append(f"\\u{0xD800 + (code >> 10):04x}\\u{0xDC00 + (code & 0x3FF):04x}")
            else:
                out.append(f"\\u{code:04x}")
        else:
            out.append(character)
    out.append('"')
    return "".join(out)


def text_of(value, indent, escape_solidus=False):
    """The document's text: `indent` spaces a level (none: compact), "/" written as "\\/" or not."""
    out = []

    def write(value, depth, indent):
        if isinstance(value, Compact):
            write(value.value, depth, 0)
        elif isinstance(value, (dict, list)):
            items = list(value.items()) if isinstance(value, dict) else list(value)
            opening, closing = "{}" if isinstance(value, dict) else "[]"
            if not items:
                out.append(opening + closing)
                return
            inner = "\n" + " " * (indent * (depth + 1)) if indent else ""
            out.append(opening)
            for index, item in enumerate(items):
                out.append(("," if index else "") + inner)
                if isinstance(value, dict):
                    out.append(quote(item[0], escape_solidus) + (": " if indent else ":"))
                    item = item[1]
                write(item, depth + 1, indent)
            out.append(("\n" + " " * (indent * depth) if indent else "") + closing)
        elif isinstance(value, Number):
            out.append(value)
        elif isinstance(value, str):
            out.append(quote(value, escape_solidus))
        elif value is None:
            out.append("null")
        elif isinstance(value, bool):
            out.append("true" if value else "false")
        else:
            out.append(str(value))

    write(value, 0, indent)
    return "".join(out) + "\n"


# Words in several scripts, made from code point ranges.

HIRAGANA = (0x3041, 0x3093)
KATAKANA = (0x30A1, 0x30F3)
KANJI = (0x4E00, 0x6FFF)
HANGUL = (0xAC00, 0xD7A3)
EMOJI = (0x1F300, 0x1F64F)
LATIN_ACCENTED = "éèêàâçôûîëüïœæñ"
SYMBOLS = ("\u2764\ufe0f", "\u2728", "\u2600\ufe0f", "\U0001F469\u200D\U0001F4BB", "\U0001F44D\U0001F3FD", "\u2603")
CONSONANTS = "bcdfghklmnprstvz"
VOWELS = "aeiou"


def code_points(stream, span, count):
    return "".join(chr(stream.between(*span)) for _ in range(count))


def latin_word(stream, accents=0):
    word = "".join(stream.pick(CONSONANTS) + stream.pick(VOWELS) for _ in range(stream.between(1, 4)))
    if accents and stream.chance(accents):
        at = 1 + stream.below(len(word) - 1)  # never the first letter, which may be capitalised
        word = word[:at] + stream.pick(LATIN_ACCENTED) + word[at + 1:]
    return word


def capitalised(words):
    """Each word with its first letter, always ASCII, in capitals (no Unicode tables involved)."""
    return " ".join(word[0].upper() + word[1:] for word in words)


def phrase(stream, language):
    """A run of words in the language's script, with emoji now and then."""
    if language == "ja":
        words = [code_points(stream, stream.pick((HIRAGANA, HIRAGANA, KATAKANA, KANJI)), stream.between(1, 5))
                 for _ in range(stream.between(3, 9))]
        joined = "".join(words)
    elif language == "zh":
        joined = code_points(stream, KANJI, stream.between(6, 24))
    elif language == "ko":
        joined = " ".join(code_points(stream, HANGUL, stream.between(1, 4)) for _ in range(stream.between(2, 6)))
    else:
        joined = " ".join(latin_word(stream, 15) for _ in range(stream.between(3, 10)))
    if stream.chance(40):
        joined += stream.pick(SYMBOLS) if stream.chance(40) else code_points(stream, EMOJI, stream.between(1, 3))
    return joined


# The timeline: posts with their authors, as a social network's search answer.

LANGUAGES = ("ja", "ja", "ja", "zh", "ko", "en", "en", "fr")
SOURCES = ("Orbit for Phones", "Orbit Web", "Orbit for Tablets", "Scheduler Pro")


def handle(stream):
    return latin_word(stream) + str(stream.below(10000))


def timestamp(stream):
    return (f"2026-{stream.between(1, 12):02d}-{stream.between(1, 28):02d}T{stream.below(24):02d}:"
            f"{stream.below(60):02d}:{stream.below(60):02d}Z")


def author(stream, language):
    user_id = stream.between(10**8, 4 * 10**9)
    return {
        "id": user_id,
        "id_text": str(user_id),
        "handle": handle(stream),
        "name": Escaped(phrase(stream, language)[:12]) if stream.chance(30) else phrase(stream, language)[:12],
        "bio": "\n".join(phrase(stream, language) for _ in range(stream.between(0, 3))),
        "location": phrase(stream, language)[:8] if stream.chance(60) else "",
        "homepage": f"https://{latin_word(stream)}.example/{handle(stream)}" if stream.chance(30) else None,
        "followers": stream.below(200000),
        "following": stream.below(5000),
        "posts": stream.below(90000),
        "joined": timestamp(stream),
        "verified": stream.chance(5),
        "avatar": f"https://images.example/avatars/{user_id}/{handle(stream)}_normal.png",
        "colors": {"background": f"{stream.below(2**24):06X}", "text": f"{stream.below(2**24):06X}"},
    }


def post(stream):
    language = stream.pick(LANGUAGES)
    post_id = stream.between(10**17, 9 * 10**17)
    tags = [phrase(stream, language)[:6] for _ in range(stream.below(4))]
    mentions = [handle(stream) for _ in range(stream.below(3))]
    lines = [phrase(stream, language) for _ in range(stream.between(1, 6))]
    if stream.chance(20):
        lines.append(f'"{phrase(stream, language)}" \\ {latin_word(stream)}')
    body = "".join("@" + name + " " for name in mentions) + "\n".join(lines) + "".join(" #" + tag for tag in tags)
    source = stream.pick(SOURCES)
    return {
        "id": post_id,
        "id_text": str(post_id),
        "created": timestamp(stream),
        "language": language,
        "body": Escaped(body) if stream.chance(15) else body,
        "source": f'<a href="https://apps.example/{latin_word(stream)}" rel="nofollow">{source}</a>',
        "reply_to": {"post": stream.between(10**17, 9 * 10**17), "author": handle(stream)}
        if stream.chance(30) else None,
        "author": author(stream, language),
        "place": {"latitude": Number(f"{stream.between(-89, 89)}.{stream.below(10**6):06d}"),
                  "longitude": Number(f"{stream.between(-179, 179)}.{stream.below(10**6):06d}")}
        if stream.chance(15) else None,
        "tags": [{"text": tag, "span": Compact([index, index + len(tag)])} for index, tag in enumerate(tags)],
        "mentions": [{"handle": name, "id": stream.between(10**8, 4 * 10**9), "span": Compact([0, len(name) + 1])}
                     for name in mentions],
        "links": [{"url": f"https://s.example/{latin_word(stream)}", "shown": f"{latin_word(stream)}.example/…"}
                  for _ in range(stream.below(2))],
        "reposts": stream.below(5000),
        "likes": stream.below(20000),
        "sensitive": stream.chance(3),
        "pinned": False,
    }


def timeline(stream):
    posts = [post(stream) for _ in range(380)]
    return text_of({
        "posts": posts,
        "paging": {"count": len(posts), "took_seconds": Number("0.087"), "query": "%23" + latin_word(stream),
                   "next": f"?max_id={posts[-1]['id'] - 1}&q=%23{latin_word(stream)}&include_entities=1"},
    }, indent=2, escape_solidus=True)


# The catalogue: named areas, topics and venues, events, and the shows of each event with
# their prices and seat categories, all keyed by integer ids.

def names_by_id(stream, first_id, count):
    ids = sorted({first_id + stream.below(count * 50) for _ in range(count)})
    return ids, {str(item): capitalised(latin_word(stream, 30) for _ in range(stream.between(1, 4)))
                 for item in ids}


def catalogue(stream):
    area_ids, areas = names_by_id(stream, 205705993, 20)
    audience_ids, audiences = names_by_id(stream, 337100890, 4)
    seat_ids, seat_categories = names_by_id(stream, 338937235, 60)
    topic_ids, topics = names_by_id(stream, 107888604, 30)
    subtopic_ids, subtopics = names_by_id(stream, 337184262, 40)
    venues = {f"VENUE_{latin_word(stream).upper()}": capitalised([latin_word(stream)]) for _ in range(4)}
    events = {}
    for _ in range(200):
        event_id = stream.between(138586341, 342742592)
        events[str(event_id)] = {
            "description": None,
            "id": event_id,
            "logo": f"/images/UE0AAAAA{stream.below(10**8):08d}" if stream.chance(40) else None,
            "name": capitalised(latin_word(stream, 20) for _ in range(stream.between(1, 5))),
            "sub_topic_ids": sorted({stream.pick(subtopic_ids) for _ in range(stream.between(1, 4))}),
            "subject_code": None,
            "subtitle": None,
            "topic_ids": sorted({stream.pick(topic_ids) for _ in range(stream.between(1, 3))}),
        }
    event_ids = [record["id"] for record in events.values()]
    shows = []
    for _ in range(695):
        seats = sorted({stream.pick(seat_ids) for _ in range(stream.between(1, 4))})
        shows.append({
            "event_id": stream.pick(event_ids),
            "id": stream.between(339187000, 339999999),
            "logo": f"/images/UE0AAAAA{stream.below(10**8):08d}" if stream.chance(20) else None,
            "name": None,
            "prices": [{"amount": stream.between(5, 180) * 500, "audience_id": stream.pick(audience_ids),
                        "seat_category_id": seat} for seat in seats],
            "seat_categories": [{"areas": [{"area_id": stream.pick(area_ids), "block_ids": []}
                                           for _ in range(stream.between(1, 6))],
                                 "seat_category_id": seat} for seat in seats],
            "seat_map_image": None,
            "start": stream.between(1372000000, 1376000000) * 1000,
            "venue_code": stream.pick(list(venues)),
        })
    return text_of({
        "area_names": areas,
        "audience_names": audiences,
        "block_names": {},
        "events": events,
        "shows": shows,
        "seat_category_names": seat_categories,
        "sub_topic_names": subtopics,
        "subject_names": {},
        "topic_names": topics,
        "topic_sub_topics": {str(topic): sorted({stream.pick(subtopic_ids) for _ in range(stream.between(1, 5))})
                             for topic in topic_ids},
        "venue_names": venues,
    }, indent=4)


# The outlines: a few regions, each a polygon or several, whose rings are random walks.
# Coordinates are whole microdegrees, written with all seventeen significant digits of
# the nearest float as many map exports do (43.420273 as 43.420273000000009).

def coordinate(microdegrees):
    return Number("%.17g" % (microdegrees / 1_000_000))


def ring(stream, points):
    longitude = stream.between(-141_000_000, -52_000_000)
    latitude = stream.between(42_000_000, 83_000_000)
    walk = []
    for _ in range(points):
        longitude += stream.between(-12_000, 12_000)
        latitude += stream.between(-9_000, 9_000)
        if stream.chance(8):  # a point on a round value, written short
            longitude -= longitude % 1000
        walk.append([coordinate(longitude), coordinate(latitude)])
    walk.append(walk[0])
    return walk


def outlines(stream):
    features = []
    for index in range(24):
        polygons = [[ring(stream, stream.between(100, 1600)) for _ in range(stream.between(1, 2))]
                    for _ in range(stream.between(1, 3))]
        geometry = ({"type": "Polygon", "coordinates": Compact(polygons[0])} if len(polygons) == 1 else
                    {"type": "MultiPolygon", "coordinates": Compact(polygons)})
        features.append({"type": "Feature", "properties": Compact({"name": f"Region {index + 1}"}),
                         "geometry": geometry})
    return text_of({"type": "FeatureCollection", "features": features}, indent=1)


GENERATORS = {"timeline": (timeline, 0x7469_6D65), "catalogue": (catalogue, 0x6361_7461), "outlines": (outlines, 0x6F75_746C)}


def generate(name):
    """The bytes of the named document."""
    make, seed = GENERATORS[name]
    return make(Stream(seed)).encode("utf-8")


def fingerprint(data):
    return len(data), hashlib.sha256(data).hexdigest()


def ensure(directory=DIRECTORY):
    """Writes every document that is missing or differs from RECORDED; returns their paths."""
    directory.mkdir(parents=True, exist_ok=True)
    paths = {}
    for name in NAMES:
        path = paths[name] = directory / f"{name}.json"
        if not path.exists() or fingerprint(path.read_bytes()) != RECORDED[name]:
            path.write_bytes(generate(name))
    return paths


if __name__ == "__main__":
    for name, path in ensure(Path(sys.argv[1]) if len(sys.argv) > 1 else DIRECTORY).items():
        size, digest = fingerprint(path.read_bytes())
        print(f"{path}: {size} bytes, sha256 {digest}")
