"""Nothing in the repository reads a path outside it, except through the one lookup of the
optional reference data, tools/reference_data.py: a fresh clone has no siblings."""

import re
import shutil
import subprocess
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
# The lookup itself, and this file, which quotes what it looks for.
ALLOWED = {"tools/reference_data.py", "tests/python/test_self_contained.py"}
# Data and prose read nothing.
NOT_CODE = ("tests/conformance/", "fuzz/corpus/", "bench/results/")

SIBLING = re.compile(r"\bshared\W{1,6}data\b")  # where the project's machines keep the reference data
STEPS_UP = re.compile(r"(?<![\w.])\.\.(?:(?:/|[\"']\s*,\s*[\"'])\.\.)*(?![\w.])")  # "../..", "..", ".."
ABOVE_ROOT = re.compile(r"\b(?:\w*root\w*|PROJECT_SOURCE_DIR|CMAKE_SOURCE_DIR)\b[\"'}]?\s*(?:\.parent\b|/\s*[\"']?\.\.)",
                        re.IGNORECASE)
PARENTS = re.compile(r"__file__\)(?:\.resolve\(\))?\.parents\[(\d+)\]")
PARENT_CHAIN = re.compile(r"__file__\)(?:\.resolve\(\))?((?:\.parent\b)+)")


def outside_references(path, text):
    """What in `text`, the content of the tracked file `path`, reaches above the repository."""
    depth = len(Path(path).parts) - 1  # how far up the file's own folder may climb
    return ([match.group() for match in SIBLING.finditer(text)]
            + [match.group() for match in STEPS_UP.finditer(text) if match.group().count("..") > depth]
            + [match.group() for match in ABOVE_ROOT.finditer(text)]
            + [match.group() for match in PARENTS.finditer(text) if int(match.group(1)) > depth]
            + [match.group() for match in PARENT_CHAIN.finditer(text) if match.group(1).count(".parent") - 1 > depth])


@pytest.mark.parametrize("path,line,leaves", [
    ("bench/cases.py", 'DOCUMENTS_DIR = ROOT.parent / "shared" / "data" / "bench"', True),
    ("bench/cases.py", 'ROOT.parent / "other"', True),
    ("tests/python/t.py", 'os.path.join(os.path.dirname(__file__), "..", "..", "..", "x")', True),
    ("tests/python/t.py", 'os.path.join(os.path.dirname(__file__), "..", "..", "x")', False),
    ("fuzz/run.sh", 'suite="$here/../../corpus"', True),
    ("fuzz/run.sh", 'src="$here/../mesh/src"', False),
    ("dev", 'cd "$root/.." && ls', True),
    ("CMakeLists.txt", 'DATA="${CMAKE_CURRENT_SOURCE_DIR}/../data"', True),
    ("bench/CMakeLists.txt", 'DATA="${PROJECT_SOURCE_DIR}/../data"', True),
    ("tests/python/t.py", "Path(__file__).resolve().parents[3]", True),
    ("tests/python/t.py", "Path(__file__).resolve().parents[2]", False),
    ("tools/t.py", "Path(__file__).resolve().parent.parent.parent", True),
    ("tools/t.py", "Path(__file__).resolve().parent.parent", False),
    ("tests/cpp/t.cpp", 'read("/srv/shared/data/suite")', True),
    ("tests/python/t.py", "value = text[1:] ...  # a range, not a path", False),
])
def test_the_scan_sees_paths_that_leave(path, line, leaves):
    assert bool(outside_references(path, line)) == leaves


def test_no_tracked_file_reads_outside_the_repository():
    if shutil.which("git") is None:  # the minimal Debian roots of the newer Pythons have none
        pytest.skip("git is not installed here, so the tracked files cannot be listed")
    tracked = subprocess.run(["git", "ls-files"], cwd=ROOT, capture_output=True, text=True, check=True).stdout.split()
    assert len(tracked) > 100
    found = {}
    for path in tracked:
        if path in ALLOWED or path.startswith(NOT_CODE) or path.endswith(".md"):
            continue
        try:
            text = (ROOT / path).read_text(encoding="utf-8")
        except UnicodeDecodeError:  # images and binary seeds
            continue
        if references := outside_references(path, text):
            found[path] = references
    assert found == {}
