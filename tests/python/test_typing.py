"""The shipped type stub: made from the class's table, installed with the wheel, usable by mypy."""

import ast
import importlib.metadata
import subprocess
import sys
from pathlib import Path

import gen_stub
import pytest

import orvel_mesh
from orvel_mesh import OrvelMesh

ROOT = Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"
STUB_IN_WHEEL = "orvel_mesh-stubs/__init__.pyi"
MODULE_BOILERPLATE = {"__name__", "__doc__", "__file__", "__loader__", "__package__", "__spec__"}
PY_TPFLAGS_BASETYPE = 1 << 10


def installed_stub_path():
    files = importlib.metadata.files("orvel_mesh") or []
    for file in files:
        if str(file) == STUB_IN_WHEEL:
            return Path(file.locate())
    pytest.fail(f"the installed wheel has no {STUB_IN_WHEEL}")


@pytest.fixture(scope="module")
def stub():
    return ast.parse(installed_stub_path().read_text(encoding="utf-8"))


@pytest.fixture(scope="module")
def stub_class(stub):
    (node,) = [node for node in stub.body if isinstance(node, ast.ClassDef) and node.name == "OrvelMesh"]
    return node


def stub_members(stub_class):
    return {node.name: node for node in stub_class.body if isinstance(node, ast.FunctionDef)}


def decorator_names(node):
    return {ast.unparse(decorator) for decorator in node.decorator_list}


def run_mypy(paths, cache):
    """mypy --strict with this interpreter, so it finds the stub where the wheel installed it."""
    return subprocess.run([sys.executable, "-m", "mypy", "--strict", "--no-color-output", "--cache-dir", str(cache),
                           *map(str, paths)], capture_output=True, text=True, cwd=cache.parent, timeout=600)


def test_installed_stub_is_the_one_in_the_source_tree():
    assert installed_stub_path().read_bytes() == (ROOT / STUB_IN_WHEEL).read_bytes()


def test_stub_is_what_the_generator_makes_of_the_table(testing):
    assert (ROOT / STUB_IN_WHEEL).read_text(encoding="utf-8") == gen_stub.render(testing.method_table())


def test_stub_declares_exactly_the_module_attributes(stub):
    declared = set()
    for node in stub.body:
        if isinstance(node, ast.ClassDef):
            declared.add(node.name)
        elif isinstance(node, ast.AnnAssign):
            declared.add(node.target.id)
        elif isinstance(node, ast.Assign):
            declared.update(target.id for target in node.targets)
    assert declared == set(vars(orvel_mesh)) - MODULE_BOILERPLATE
    (all_node,) = [node for node in stub.body if isinstance(node, ast.Assign)]
    assert ast.literal_eval(all_node.value) == orvel_mesh.__all__
    assert ast.get_docstring(stub) == orvel_mesh.__doc__


def test_class_finality_matches_runtime(stub_class):
    subclassable = bool(OrvelMesh.__flags__ & PY_TPFLAGS_BASETYPE)
    assert ("final" in decorator_names(stub_class)) is not subclassable


# One or more calls per member on a prepared mesh; together they must produce every
# type the stub's return annotation allows, and nothing else.
RESULT_SAMPLES = {
    "app_name": [lambda m: m.app_name],
    "register_agent": [lambda m: m.register_agent("Customer", "fresh")],
    "update_agent_status": [lambda m: m.update_agent_status("customer-123", "idle")],
    "deregister_agent": [lambda m: m.deregister_agent("nobody")],
    "get_agent": [lambda m: m.get_agent("customer-123"), lambda m: m.get_agent("nobody")],
    "list_agents": [lambda m: m.list_agents()],
    "route_agent_call": [lambda m: m.route_agent_call("Customer", "customer-123", "checkout")],
    "state_get": [lambda m: m.state_get("cart:7"), lambda m: m.state_get("missing")],
    "state_set": [lambda m: m.state_set("cart:8", "[]")],
    "state_delete": [lambda m: m.state_delete("missing")],
    "state_exists": [lambda m: m.state_exists("cart:7")],
    "state_keys": [lambda m: m.state_keys("cart:")],
    "start_migration": [lambda m: m.start_migration("orders.Archive", "sqlite", "redis")],
    "advance_migration": [lambda m: m.advance_migration("counter.Counts", 1, 2)],
    "rollback_migration": [lambda m: m.rollback_migration("counter.Counts")],
    "get_migration": [lambda m: m.get_migration("counter.Counts"), lambda m: m.get_migration("nothing")],
    "list_migrations": [lambda m: m.list_migrations()],
    "publish": [lambda m: m.publish("orders", "{}")],
    "health_snapshot": [lambda m: m.health_snapshot()],
    "plan_json": [lambda m: m.plan_json()],
}

ANNOTATION_TYPES = {"str": str, "int": int, "bool": bool, "None": type(None)}


def alternatives(annotation):
    """The annotation split at `|`, each alternative as its source text."""
    if isinstance(annotation, ast.BinOp) and isinstance(annotation.op, ast.BitOr):
        return alternatives(annotation.left) | alternatives(annotation.right)
    return {ast.unparse(annotation)}


def alternative_of(value):
    """The annotation text that describes a result exactly (bool is not taken for int)."""
    if type(value) is list:
        (element,) = {alternative_of(item) for item in value}
        return f"list[{element}]"
    (name,) = [name for name, kind in ANNOTATION_TYPES.items() if type(value) is kind]
    return name


@pytest.fixture
def prepared_mesh():
    mesh = OrvelMesh("shop")
    mesh.register_agent("Customer", "customer-123")
    mesh.state_set("cart:7", '{"items": [3]}')
    mesh.start_migration("counter.Counts", "sqlite", "redis")
    return mesh


@pytest.mark.parametrize("name", RESULT_SAMPLES)
def test_results_have_exactly_the_annotated_types(stub_class, prepared_mesh, name):
    annotation = stub_members(stub_class)[name].returns
    produced = {alternative_of(sample(prepared_mesh)) for sample in RESULT_SAMPLES[name]}
    assert produced == alternatives(annotation)


def test_result_samples_cover_every_member(stub_class):
    assert set(RESULT_SAMPLES) == set(stub_members(stub_class)) - {"__new__"}


def test_examples_pass_mypy_strict(tmp_path):
    result = run_mypy(sorted(EXAMPLES.glob("*.py")), tmp_path / "cache")
    assert result.returncode == 0, result.stdout + result.stderr


# Code a user might write by mistake, and the complaint mypy must make about it.
MISUSE = {
    "unchecked_none": ('OrvelMesh("a").state_get("k").upper()', 'Item "None" of "str | None" has no attribute "upper"'),
    "read_only_name": ('OrvelMesh("a").app_name = "b"', 'Property "app_name" defined in "OrvelMesh" is read-only'),
    "subclass": ("class Mine(OrvelMesh): ...", 'Cannot inherit from final class "OrvelMesh"'),
    "none_prefix": ('OrvelMesh("a").state_keys(None)', 'incompatible type "None"; expected "str"'),
    "misspelt_keyword": ('OrvelMesh("a").register_agent("T", "a", metadata={})', 'Unexpected keyword argument "metadata"'),
    "float_count": ('OrvelMesh("a").advance_migration("v", keys_migrated=1.5)', 'incompatible type "float"'),
    "snapshot_is_text": ('n: int = OrvelMesh("a").publish("t", "1") + OrvelMesh("a").health_snapshot()',
                         'Unsupported operand types for + ("int" and "str")'),
    "not_exported": ("from orvel_mesh import final", 'Module "orvel_mesh" does not explicitly export attribute "final"'),
}


@pytest.fixture(scope="module")
def misuse_report(tmp_path_factory):
    directory = tmp_path_factory.mktemp("misuse")
    paths = []
    for name, (code, _) in MISUSE.items():
        path = directory / f"{name}.py"
        path.write_text(f"from orvel_mesh import OrvelMesh\n\n{code}\n")
        paths.append(path.name)
    return run_mypy(paths, directory / "cache").stdout


@pytest.mark.parametrize("name", MISUSE)
def test_mypy_rejects_misuse(misuse_report, name):
    complaints = [line for line in misuse_report.splitlines() if line.startswith(f"{name}.py:") and ": error:" in line]
    assert len(complaints) == 1, misuse_report
    assert MISUSE[name][1] in complaints[0]
