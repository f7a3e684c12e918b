import ctypes
import importlib.metadata
import inspect
import re
import subprocess
import sys

import pytest

import orvel_mesh
from orvel_mesh import OrvelMesh

CLASS_DOC = (
    "The runtime mesh for a Orvel application.\n\n"
    "Create one per application process (Python):\n\n"
    "```python\n"
    'mesh = OrvelMesh("myapp", plan_json)\n'
    "```\n\n"
    "All methods are synchronous and GIL-aware \u2014 they release the GIL during\n"
    "any blocking work."
)

SIGNATURES = {
    "register_agent": "(agent_type, agent_id, instance=0, metadata_json=None)",
    "update_agent_status": "(agent_id, status)",
    "deregister_agent": "(agent_id)",
    "get_agent": "(agent_id)",
    "list_agents": "(agent_type=None, status=None)",
    "route_agent_call": "(agent_type, agent_id, method, args_json='{}')",
    "state_get": "(key)",
    "state_set": "(key, value_json)",
    "state_delete": "(key)",
    "state_exists": "(key)",
    "state_keys": "(prefix='')",
    "start_migration": "(variable_name, source_backend, target_backend)",
    "advance_migration": "(variable_name, discrepancy_count=0, keys_migrated=0)",
    "rollback_migration": "(variable_name)",
    "get_migration": "(variable_name)",
    "list_migrations": "()",
    "publish": "(topic, payload_json)",
    "health_snapshot": "()",
    "plan_json": "()",
}

FIRST_DOC_LINES = {
    "register_agent": "Register a new agent instance.",
    "deregister_agent": "Deregister an agent.  No-op if the ID does not exist.",
    "route_agent_call": "Route a call to an agent and return routing metadata as JSON.",
    "state_keys": "Return all keys that start with `prefix` (sorted).",
    "list_migrations": "List all migrations (active and completed).",
    "plan_json": "Return the solved plan as a JSON string.",
}


def test_module_attributes():
    assert orvel_mesh.__version__ == "0.3.2"
    assert orvel_mesh.__all__ == ["OrvelMesh", "__version__"]
    assert orvel_mesh.__doc__ == "Python module `orvel_mesh`."
    assert orvel_mesh.OrvelMesh is OrvelMesh
    public = {name for name in dir(orvel_mesh) if not name.startswith("__")}
    assert public == {"OrvelMesh"}


def test_version_is_the_installed_distributions():
    # Written once, in pyproject.toml: the module and the wheel's metadata cannot drift apart.
    assert orvel_mesh.__version__ == importlib.metadata.version("orvel_mesh")


def test_class_doc_and_signature():
    assert OrvelMesh.__doc__ == CLASS_DOC
    assert OrvelMesh.__text_signature__ == '(app_name, plan_json="")'
    assert str(inspect.signature(OrvelMesh)) == "(app_name, plan_json='')"


def test_method_table_order_and_signatures(mesh):
    methods = [name for name in OrvelMesh.__dict__ if callable(OrvelMesh.__dict__[name]) and not name.startswith("__")]
    assert methods == list(SIGNATURES)
    for name, signature in SIGNATURES.items():
        assert str(inspect.signature(getattr(mesh, name))) == signature, name


@pytest.mark.parametrize("name,first_line", FIRST_DOC_LINES.items())
def test_method_docs_start_with_their_first_line(name, first_line):
    assert getattr(OrvelMesh, name).__doc__.split("\n")[0] == first_line


def test_route_doc_keeps_non_ascii_text():
    assert '``{"status": "routed", "agent_id": "\u2026", \u2026}``' in OrvelMesh.route_agent_call.__doc__


def test_class_cannot_be_subclassed():
    with pytest.raises(TypeError, match="^type 'OrvelMesh' is not an acceptable base type$"):
        type("Sub", (OrvelMesh,), {})


def test_class_names_its_module_but_its_name_does_not():
    assert (OrvelMesh.__name__, OrvelMesh.__qualname__, OrvelMesh.__module__) == ("OrvelMesh", "OrvelMesh", "orvel_mesh")
    assert repr(OrvelMesh) == "<class 'orvel_mesh.OrvelMesh'>"


def replacement_new(cls, *args, **kwargs):
    return object.__new__(cls)


@pytest.mark.parametrize("name", ["__new__", "__repr__", "state_get", "app_name", "anything"])
def test_class_attributes_cannot_be_set_or_deleted(name):
    refusal = f"^cannot set '{name}' attribute of immutable type 'OrvelMesh'$"
    with pytest.raises(TypeError, match=refusal):
        setattr(OrvelMesh, name, staticmethod(replacement_new))
    with pytest.raises(TypeError, match=refusal):
        delattr(OrvelMesh, name)
    assert OrvelMesh("app").state_get("k") is None


def test_an_object_holding_no_mesh_is_refused_and_freed():
    # The interpreter's own allocation, which no constructor follows.
    allocate = ctypes.pythonapi.PyType_GenericAlloc
    allocate.restype = ctypes.py_object
    allocate.argtypes = [ctypes.py_object, ctypes.c_ssize_t]
    hollow = allocate(OrvelMesh, 0)
    calls = [repr, lambda mesh: mesh.app_name]
    for name in SIGNATURES:
        required = [p for p in inspect.signature(getattr(OrvelMesh, name)).parameters.values()
                    if p.default is inspect.Parameter.empty and p.name != "self"]
        calls.append(lambda mesh, name=name, count=len(required): getattr(mesh, name)(*["1"] * count))
    for call in calls:
        with pytest.raises(TypeError, match="^this OrvelMesh object was never constructed$"):
            call(hollow)
    del hollow


def test_instances_have_no_dict_and_no_weakrefs(mesh):
    import gc
    import weakref

    with pytest.raises(AttributeError):
        mesh.app_name = "other"
    with pytest.raises(AttributeError):
        mesh.anything = 1
    with pytest.raises(TypeError):
        weakref.ref(mesh)
    assert not gc.is_tracked(mesh)
    assert OrvelMesh.app_name.__doc__ == "Application name."


def test_entry_point_returns_the_same_module_again():
    first = sys.modules.pop("orvel_mesh")
    try:
        import orvel_mesh as again

        assert again is first
    finally:
        sys.modules["orvel_mesh"] = first


CHILD_SCRIPT = """\
import os
try:
    import orvel_mesh
    outcome = "imported"
except ImportError as error:
    outcome = "ImportError: " + str(error)
os.write(WRITE_END, outcome.encode())
"""

# How each release lets Python code start a second interpreter. One that shares the GIL may
# load single-phase modules, so only the module's own check refuses it; an isolated one is
# refused by the interpreter itself. 3.12 has only the private _xxsubinterpreters, 3.13
# renamed it _interpreters (configurations by name), and 3.14 added the public
# concurrent.interpreters, whose interpreters are all isolated.
SECOND_INTERPRETERS = {
    "shared GIL": """\
if sys.version_info >= (3, 13):
    import _interpreters as low
    interpreter = low.create("legacy")
else:
    import _xxsubinterpreters as low
    interpreter = low.create(isolated=False)
run, close = lambda code: low.run_string(interpreter, code), lambda: low.destroy(interpreter)
""",
    "isolated": """\
if sys.version_info >= (3, 14):
    from concurrent import interpreters
    interpreter = interpreters.create()
    run, close = interpreter.exec, interpreter.close
else:
    low = __import__("_interpreters" if sys.version_info >= (3, 13) else "_xxsubinterpreters")
    interpreter = low.create()
    run, close = lambda code: low.run_string(interpreter, code), lambda: low.destroy(interpreter)
""",
}

SUBINTERPRETER_SCRIPT = """\
import os, sys
import orvel_mesh
{start}
read_end, write_end = os.pipe()
run(CHILD_SCRIPT.replace("WRITE_END", str(write_end)))
close()
os.close(write_end)
print(os.read(read_end, 1000).decode())
print(orvel_mesh.OrvelMesh("still-works").app_name)
"""


@pytest.mark.parametrize("kind", SECOND_INTERPRETERS)
def test_second_interpreter_is_refused(kind):
    script = f"CHILD_SCRIPT = {CHILD_SCRIPT!r}\n" + SUBINTERPRETER_SCRIPT.format(start=SECOND_INTERPRETERS[kind])
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert result.returncode == 0, result.stderr
    outcome, survivor = result.stdout.splitlines()[:2]
    assert outcome.startswith("ImportError: ") and re.search("sub-?interpreters", outcome), outcome
    assert survivor == "still-works"
    assert result.stderr == ""


def test_help_documents_every_method():
    import pydoc

    text = pydoc.render_doc(OrvelMesh, renderer=pydoc.plaintext)
    assert "OrvelMesh(app_name, plan_json='')" in text
    for name, signature in SIGNATURES.items():
        shown = signature.replace("(", "(self, /, ", 1) if signature != "()" else "(self, /)"
        assert f"{name}{shown}" in text


def test_import_raises_no_warning():
    result = subprocess.run([sys.executable, "-W", "error", "-c", "import orvel_mesh"], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
