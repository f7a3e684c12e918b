"""The sdist holds the tracked files, less those pyproject.toml excludes, and nothing else
(a stray build product or scratch file in the work tree would otherwise ship).

    python tools/check_sdist.py SDIST
"""

import subprocess
import sys
import tarfile
import tomllib
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
GENERATED = {"PKG-INFO"}  # written by the build backend


def main(sdist):
    with tarfile.open(sdist) as archive:
        members = {name.split("/", 1)[1] for name in archive.getnames() if "/" in name}
    shipped = {name for name in members if not any(other.startswith(name + "/") for other in members)}
    tracked = set(subprocess.run(["git", "ls-files"], cwd=ROOT, check=True, capture_output=True,
                                 text=True).stdout.splitlines())
    excluded = tomllib.loads((ROOT / "pyproject.toml").read_text())["tool"]["scikit-build"]["sdist"]["exclude"]
    expected = {name for name in tracked if not any(name == e or name.startswith(e + "/") for e in excluded)}
    extra, missing = shipped - expected - GENERATED, expected - shipped
    if extra or missing:
        sys.exit(f"sdist: untracked {sorted(extra)}, missing {sorted(missing)}")
    print(f"sdist: {len(shipped - GENERATED)} files, exactly the tracked ones it should carry")


if __name__ == "__main__":
    main(sys.argv[1])
