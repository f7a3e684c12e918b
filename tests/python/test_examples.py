"""Every program in examples/, and every >>> line of the README, runs against the installed wheel
and prints what it promises."""

import doctest
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"
STAMP = r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d{3}|\.\d{6}|\.\d{9})?\+00:00"

# Lines each program must print, in this order (other lines may come between). Each is a
# regular expression matched against a whole line.
EXPECTED_LINES = {
    "demo.py": [
        r'orvel_mesh 0\.3\.2: OrvelMesh\(app="shop", agents=0, state_keys=0, migrations=0\)',
        r'plan: \{"app_name":"shop","backends":\{\},"functions":\[\],"agents":\["Customer"\]\}',
        rf'\{{"agent_id":"customer-123","agent_type":"Customer","status":"starting","instance":0,'
        rf'"registered_at":"{STAMP}","last_active":"{STAMP}","metadata":\{{"region":"eu"\}}\}}',
        r'\{"agent_id":"customer-123","agent_type":"Customer","method":"checkout","node":"localhost","status":"routed"\}',
        r"idle agents: customer-123",
        r'cart:7 = \{"items":\[3,1\.5\],"owner":"customer-123"\}',
        r"keys with prefix 'cart:': \['cart:7', 'cart:8'\]",
        r"stage 6 done +keys_migrated=200",
        r"receivers reached: 0",
        r'\{"agents":\{"error":0,"idle":1,"running":0,"total":1\},"app":"shop","channels":\{"topics":1\},'
        r'"migrations":\{"active":0\},"state":\{"keys":2\},"status":"ok"\}',
        r'OrvelMesh\(app="shop", agents=1, state_keys=2, migrations=0\)',
    ],
    "agents.py": [
        r"registered customer-123: instance 0, status starting, metadata \{'region': 'eu'\}",
        r"registered customer-456: instance 1, status starting, metadata \{'region': 'eu'\}",
        r"refused: Agent 'customer-123' is already registered",
        r'route: \{"agent_id":"customer-123","agent_type":"Customer","method":"checkout","node":"localhost",'
        r'"status":"routed"\}',
        r"customer-123 checked out cart 7",
        r"running: \['customer-123'\]",
        r"all: \['customer-123', 'customer-456'\]",
        r"refused: Agent 'Customer/customer-456' not found in registry",
        r'refused: Unknown status "paused"\. Valid values: starting, running, idle, stopping, stopped, error',
        r"customer-456 after deregistering: None",
        r'OrvelMesh\(app="shop", agents=1, state_keys=0, migrations=0\)',
    ],
    "state_store.py": [
        r'cart:7 = \{"items":\[3,1\.5\],"owner":"customer-123"\}',
        r"owner of cart:7: customer-123",
        r"carts: \['cart:12', 'cart:7'\]",
        r"all keys: \['cart:12', 'cart:7', 'session:customer-123'\]",
        r"visits = 3",
        r"cart:12 exists: False \| value: None",
        r"refused: Serialization error: key must be a string at line 1 column 2",
        r'cart:7 unchanged: \{"items":\[3,1\.5\],"owner":"customer-123"\}',
    ],
    "migration.py": [
        r"start +-> stage 1 shadow_write keys_migrated=0 discrepancy_count=0",
        r"advance +-> stage 2 shadow_read +keys_migrated=3 discrepancy_count=0",
        r"2 keys differ: \['count:4', 'count:5'\]",
        r"rollback +-> stage 1 shadow_write keys_migrated=3 discrepancy_count=0",
        r"advance +-> stage 2 shadow_read +keys_migrated=5 discrepancy_count=2",
        r"advance +-> stage 3 dual_read +keys_migrated=5 discrepancy_count=2",
        r"advance +-> stage 4 new_primary +keys_migrated=5 discrepancy_count=2",
        r"advance +-> stage 5 cleanup +keys_migrated=5 discrepancy_count=2",
        r"advance +-> stage 6 done +keys_migrated=5 discrepancy_count=2",
        r"refused: Migration error: Migration for 'counter\.Counts' is already complete",
        r"refused: Migration error: Cannot roll back a completed migration",
        r"rollback +-> stage 0 idle +keys_migrated=0 discrepancy_count=0",
        r"refused: Migration error: Already at initial stage \u2014 cannot roll back further",
        r"migrations: \[\('counter\.Counts', 'done'\), \('orders\.Archive', 'idle'\)\]",
        r'OrvelMesh\(app="shop", agents=0, state_keys=0, migrations=1\)',
    ],
    "topics_and_health.py": [
        r'plan: \{"app_name":"shop","backends":\{\},"functions":\["checkout"\],"agents":\["Customer"\]\}',
        r'snapshot: \{"agents":\{"error":0,"idle":0,"running":0,"total":0\},"app":"shop","channels":\{"topics":0\},'
        r'"migrations":\{"active":0\},"state":\{"keys":0\},"status":"ok"\}',
        r"publish to 'orders': 0 receivers",
        r"publish to 'orders': 0 receivers",
        r"publish to 'audit': 0 receivers",
        r"refused: Serialization error: key must be a string at line 1 column 2",
        r'snapshot: \{"agents":\{"error":1,"idle":0,"running":1,"total":2\},"app":"shop","channels":\{"topics":2\},'
        r'"migrations":\{"active":1\},"state":\{"keys":1\},"status":"ok"\}',
        r"topics: 2",
        r"ready: False",
        r"ready after recovery: True",
    ],
}


def unmatched(expected, lines):
    """The first expected pattern that no line after the previous match fits, or None."""
    remaining = iter(lines)
    for pattern in expected:
        if not any(re.fullmatch(pattern, line) for line in remaining):
            return pattern
    return None


def test_every_example_has_expectations():
    assert {path.name for path in EXAMPLES.glob("*.py")} == set(EXPECTED_LINES)


@pytest.mark.parametrize("name", EXPECTED_LINES)
def test_example_runs_and_prints_what_it_promises(tmp_path, name):
    result = subprocess.run([sys.executable, str(EXAMPLES / name)], capture_output=True, encoding="utf-8",
                            env={**os.environ, "PYTHONIOENCODING": "utf-8"}, cwd=tmp_path, timeout=60)
    assert result.returncode == 0, result.stderr
    assert result.stderr == ""
    missing = unmatched(EXPECTED_LINES[name], result.stdout.splitlines())
    assert missing is None, f"no line matches {missing!r} in order:\n{result.stdout}"


@pytest.mark.parametrize("expected, lines, result", [
    (["a", "b"], ["a", "x", "b"], None),
    (["a", "b"], ["b", "a"], "b"),
    (["a+"], ["aab"], "a+"),
])
def test_order_check_itself(expected, lines, result):
    assert unmatched(expected, lines) == result


class ClockBlindChecker(doctest.OutputChecker):
    """Compares outputs with every timestamp taken as equal: the README shows the times of one real run."""

    def check_output(self, want, got, optionflags):
        return super().check_output(re.sub(STAMP, "<time>", want), re.sub(STAMP, "<time>", got), optionflags)


def test_readme_sessions_print_what_the_readme_shows():
    readme = (ROOT / "README.md").read_text(encoding="utf-8")
    # The sessions run in order, sharing one namespace, as one reader would type them.
    sessions = "\n".join(re.findall(r"^```pycon\n(.*?)^```$", readme, re.S | re.M))
    test = doctest.DocTestParser().get_doctest(sessions, {}, "README.md", None, 0)
    report = []
    runner = doctest.DocTestRunner(checker=ClockBlindChecker(), optionflags=doctest.ELLIPSIS)
    result = runner.run(test, out=report.append)
    assert result.attempted >= 40
    assert result.failed == 0, "".join(report)
