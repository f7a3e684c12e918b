import importlib.metadata
import inspect
import os
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
    with pytest.raises(TypeError):
        type("Sub", (OrvelMesh,), {})


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

SUBINTERPRETER_SCRIPT = """\
import os, sys
import orvel_mesh
if sys.version_info >= (3, 13):
    import _interpreters as interpreters
    interpreter = interpreters.create("legacy")
else:
    import _xxsubinterpreters as interpreters
    interpreter = interpreters.create(isolated=False)
read_end, write_end = os.pipe()
interpreters.run_string(interpreter, CHILD_SCRIPT.replace("WRITE_END", str(write_end)))
os.close(write_end)
print(os.read(read_end, 1000).decode())
print(orvel_mesh.OrvelMesh("still-works").app_name)
"""


def test_second_interpreter_is_refused():
    result = subprocess.run([sys.executable, "-c", f"CHILD_SCRIPT = {CHILD_SCRIPT!r}\n" + SUBINTERPRETER_SCRIPT], capture_output=True, text=True,
                            env={**os.environ, "PYTHONWARNINGS": "ignore"}, timeout=60)
    assert result.returncode == 0, result.stderr
    outcome, survivor = result.stdout.splitlines()[:2]
    assert outcome.startswith("ImportError: ") and "sub-interpreters" in outcome
    assert survivor == "still-works"


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
