"""The timed workloads and the contenders they run on.

A case is one workload on one contender. Preparing it builds the contender, fills it and
returns the bound call to time with its arguments, so the timed loop is nothing but calls.
"""

import sys
from dataclasses import dataclass
from itertools import repeat
from pathlib import Path
from time import process_time

import documents
import orvel_mesh
from reference import ReferenceMesh, orjson_codec

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tools"))
import reference_data  # noqa: E402

# The generated documents always; the standard ones that published figures use, when present.
STANDARD = reference_data.find("bench")
STANDARD_NAMES = ("twitter", "citm_catalog", "canada")
DOCUMENT_PATHS = {name: documents.DIRECTORY / f"{name}.json" for name in documents.NAMES} | (
    {name: STANDARD / f"{name}.json" for name in STANDARD_NAMES} if STANDARD else {})
DOCUMENTS = tuple(DOCUMENT_PATHS)


def document_sources():
    """Where the documents come from, for the run's log."""
    generated = f"documents: {', '.join(documents.NAMES)} generated in {documents.DIRECTORY}"
    standard = (f"documents: {', '.join(STANDARD_NAMES)} from {STANDARD}" if STANDARD else
                f"documents: {', '.join(STANDARD_NAMES)} skipped, {reference_data.absence('bench')}")
    return f"{generated}\n{standard}"

MESH = "orvel_mesh"
REFERENCE = "reference"
ORJSON = "reference_orjson"
FLOOR = "floor"
CONTENDERS = (MESH, REFERENCE, ORJSON, FLOOR)
# The release wheel (zig, static C++ runtime) runs the MESH cases in a venv of its own; its
# figures are filed under this name beside those of the quick GCC build.
RELEASE = "orvel_mesh_release"

# The keys the small calls find; the stores around them are small, as in an application
# that keeps a handful of state values and agents.
KEY = "user:0000042"
SMALL_VALUE = '{"name":"ada","n":42,"tags":["a","b"]}'
AGENT = "agent-0000042"
VARIABLE = "orders.Counts"
PAYLOAD = '{"order":7}'


def new_contender(name):
    if name == MESH:
        return orvel_mesh.OrvelMesh("bench")
    if name == REFERENCE:
        return ReferenceMesh("bench")
    if name == ORJSON:
        return ReferenceMesh("bench", codec=orjson_codec())
    raise ValueError(f"no contender {name!r}")


def state_key(serial):
    return f"user:{serial:07d}"


def keys_prefix():
    """Selects the 10 keys state_key(120) to state_key(129)."""
    return state_key(120)[:-1]


# Timed loops: ten calls a round (pairs count as one), so the loop's own cost is a tenth of a call's worth.

def _calls(function, args, loops):
    if len(args) == 1:
        (a,) = args
        start = process_time()
        for _ in repeat(None, loops):
            function(a); function(a); function(a); function(a); function(a)
            function(a); function(a); function(a); function(a); function(a)
        return process_time() - start
    if len(args) == 3:
        a, b, c = args
        start = process_time()
        for _ in repeat(None, loops):
            function(a, b, c); function(a, b, c); function(a, b, c); function(a, b, c)
            function(a, b, c); function(a, b, c); function(a, b, c); function(a, b, c)
            function(a, b, c); function(a, b, c)
        return process_time() - start
    a, b = args
    start = process_time()
    for _ in repeat(None, loops):
        function(a, b); function(a, b); function(a, b); function(a, b); function(a, b)
        function(a, b); function(a, b); function(a, b); function(a, b); function(a, b)
    return process_time() - start


def _pairs(first, first_args, second, second_arg, loops):
    a, b = first_args
    start = process_time()
    for _ in repeat(None, loops):
        first(a, b); second(second_arg); first(a, b); second(second_arg)
        first(a, b); second(second_arg); first(a, b); second(second_arg)
        first(a, b); second(second_arg); first(a, b); second(second_arg)
        first(a, b); second(second_arg); first(a, b); second(second_arg)
        first(a, b); second(second_arg); first(a, b); second(second_arg)
    return process_time() - start


def _round_trips(state_set, state_get, key, document, loops):
    start = process_time()
    for _ in repeat(None, loops):
        state_set(key, document)
        state_get(key)
    return process_time() - start


def calls_timer(function, *args):
    """Times `loops` rounds of ten calls; returns CPU seconds."""
    return lambda loops: _calls(function, args, loops)


def call_timer(call):
    """calls_timer of a bound call and its arguments as a small case gives them."""
    function, args = call
    return calls_timer(function, *args)


# Small calls. Each prepares one contender and gives the bound call with its arguments;
# the floor is the C builtin of the same shape on a dict doing the same lookup.

def _lookup(floor, floor_method, prepare, method, key, floor_extra=()):
    """A call looking up `key`: on a mesh made ready by `prepare`, through `method`; for the
    floor, through `floor_method` of a dict holding `floor`, a key and its value."""
    def make(name):
        if name == FLOOR:
            return getattr(dict([floor]), floor_method), (key, *floor_extra)
        mesh = new_contender(name)
        prepare(mesh)
        return getattr(mesh, method), (key,)
    return make


def _stored(mesh):
    mesh.state_set(KEY, SMALL_VALUE)


def _registered(mesh):
    mesh.register_agent("Worker", AGENT)


def _migrating(mesh):
    mesh.start_migration(VARIABLE, "sqlite", "redis")


small_state_exists_hit = _lookup((KEY, SMALL_VALUE), "__contains__", _stored, "state_exists", KEY)
small_state_exists_miss = _lookup((KEY, SMALL_VALUE), "__contains__", _stored, "state_exists", "user:missing")
small_state_get = _lookup((KEY, SMALL_VALUE), "get", _stored, "state_get", KEY)
small_state_get_miss = _lookup((KEY, SMALL_VALUE), "get", _stored, "state_get", "user:missing")
small_state_delete_miss = _lookup((KEY, SMALL_VALUE), "pop", _stored, "state_delete", "user:missing", (None,))
small_get_agent_miss = _lookup((AGENT, None), "get", _registered, "get_agent", "agent-missing")
small_deregister_agent_miss = _lookup((AGENT, None), "pop", _registered, "deregister_agent", "agent-missing", (None,))
small_get_migration_miss = _lookup((VARIABLE, None), "get", _migrating, "get_migration", "orders.Missing")


def small_register_deregister(name):
    mesh = new_contender(name)
    return lambda loops: _pairs(mesh.register_agent, ("Worker", AGENT), mesh.deregister_agent, AGENT, loops)


def small_route_agent_call(name):
    mesh = new_contender(name)
    mesh.register_agent("Worker", AGENT)
    return calls_timer(mesh.route_agent_call, "Worker", AGENT, "checkout")


def small_publish(name):
    mesh = new_contender(name)
    return calls_timer(mesh.publish, "orders", PAYLOAD)


@dataclass(frozen=True)
class Workload:
    name: str
    contenders: tuple
    prepare: object  # (contender name, size) -> run(loops) giving CPU seconds
    # For a call that takes and gives no JSON text: (contender name) -> (bound call, arguments),
    # whose instructions are counted beside its time.
    call: object = None
    inner: int = 10  # calls in one round of the timed loop


def _json_free(name, call):
    return Workload(f"small/{name}", CONTENDERS, lambda contender, size: call_timer(call(contender)), call)


def _with_json(name, prepare, contenders=(MESH, REFERENCE, ORJSON)):
    return Workload(f"small/{name}", contenders, lambda contender, size: prepare(contender))


def read_document(document):
    return DOCUMENT_PATHS[document].read_text(encoding="utf-8")


def _canonicalise(document):
    def prepare(contender, size):
        mesh = new_contender(contender)
        text = read_document(document)
        return lambda loops: _round_trips(mesh.state_set, mesh.state_get, "doc", text, loops)

    return Workload(f"canonicalise/{document}", (MESH, REFERENCE, ORJSON), prepare, inner=1)


def fill_state(mesh, size):
    state_set = mesh.state_set
    for serial in range(size):
        state_set(state_key(serial), f'{{"n":{serial}}}')


def _state_keys(contender, size):
    mesh = new_contender(contender)
    fill_state(mesh, size)
    return calls_timer(mesh.state_keys, keys_prefix())


WORKLOADS = (
    _json_free("state_exists_hit", small_state_exists_hit),
    _json_free("state_exists_miss", small_state_exists_miss),
    _json_free("state_get_miss", small_state_get_miss),
    _json_free("state_delete_miss", small_state_delete_miss),
    _json_free("get_agent_miss", small_get_agent_miss),
    _json_free("deregister_agent_miss", small_deregister_agent_miss),
    _json_free("get_migration_miss", small_get_migration_miss),
    # Hands back JSON text, so it is a JSON call; its floor is shown without a target.
    _with_json("state_get_small", lambda contender: call_timer(small_state_get(contender)), CONTENDERS),
    _with_json("register_deregister", small_register_deregister),
    _with_json("route_agent_call", small_route_agent_call),
    _with_json("publish_small", small_publish),
    *(_canonicalise(document) for document in DOCUMENTS),
    Workload("state_keys/10_of_many", (MESH, REFERENCE), _state_keys),
)


def case_names():
    """Every (workload, contender) pair, in the order they are run."""
    return [(workload, contender) for workload in WORKLOADS for contender in workload.contenders]


def workload_named(name):
    return next(workload for workload in WORKLOADS if workload.name == name)
