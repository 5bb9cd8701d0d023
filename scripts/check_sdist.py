"""Checks an sdist's contents: what a build and the tests need is there, build output and CI
files are not, and it stays small.  python scripts/check_sdist.py dist/Corridex-*.tar.gz"""

import sys
import tarfile

NEEDED = {"pyproject.toml", "CMakeLists.txt", "Corridex.pyi", "LICENSE", "README.md",
          "docs/corridex-demo.png", "module/module.cpp", "tests/python/conftest.py",
          "examples/demo.py", "solvers/solver_table.def", "support/pyproject.toml",
          "support/corridex_support/fingerprint.py", "corridex_dataset/__init__.py",
          "scripts/platforms/fingerprint.txt"}
UNWANTED_FOLDERS = {"build", "dist", ".ci", ".git", ".nox"}

with tarfile.open(sys.argv[1]) as archive:
    members = [member for member in archive.getmembers() if member.isfile()]
names = {member.name.split("/", 1)[1] for member in members}
total = sum(member.size for member in members)
print(f"sdist: {len(members)} files, {total // 1024} KiB unpacked")
missing = NEEDED - names
assert not missing, f"sdist lacks {sorted(missing)}"
unwanted = sorted(name for name in names if name.split("/")[0] in UNWANTED_FOLDERS)
assert not unwanted, f"sdist carries {unwanted}"
assert not [n for n in names if n.startswith("docs/") and n != "docs/corridex-demo.png"]
largest = max(members, key=lambda member: member.size)
assert total < 2 * 1024 * 1024 and largest.size < 512 * 1024, f"sdist too large: {largest.name}"
