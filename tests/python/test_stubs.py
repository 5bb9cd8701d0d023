"""Corridex.pyi against the built module: names by mypy's stubtest, argument lists by docstring,
and the types mypy gives a user's script."""

import ast
import os
import pathlib
import re
import shutil
import subprocess
import sys

import pytest

import Corridex
from corridex_support.promises import SOLVER_NAMES

SOURCE_STUB = pathlib.Path(__file__).resolve().parents[2] / "Corridex.pyi"
INSTALLED_STUB = pathlib.Path(Corridex.__file__).with_name("Corridex.pyi")
# The stub-only package mypy reads; it never looks at a .pyi beside an installed extension.
STUB_PACKAGE = pathlib.Path(Corridex.__file__).with_name("Corridex-stubs") / "__init__.pyi"


@pytest.mark.parametrize("installed", [INSTALLED_STUB, STUB_PACKAGE], ids=["beside", "package"])
def test_stub_is_installed_beside_the_module(installed):
    assert installed.is_file(), f"no {installed.relative_to(installed.parents[1])} installed"
    assert installed.read_text() == SOURCE_STUB.read_text(), "installed stub is stale"


# mypy's checks do not depend on the processor, and under an emulator take minutes each.
@pytest.mark.native
def test_mypy_types_results_as_a_user_sees_them(tmp_path):
    pytest.importorskip("mypy")
    (tmp_path / "user.py").write_text(
        "import Corridex\n"
        "solver = Corridex.BreadthFirstSearch([[True]], Corridex.Index(), Corridex.Index())\n"
        "reveal_type(solver.SrcToDestPath())\n"
    )
    environment = {key: value for key, value in os.environ.items() if key != "MYPYPATH"}
    result = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "user.py"],
        cwd=tmp_path, env=environment, capture_output=True, text=True, check=False,
    )
    assert result.returncode == 0, result.stdout + result.stderr
    # Older mypy spells the type builtins.list.
    revealed = re.search(r'Revealed type is "(builtins\.)?list\[Corridex\.Index\]"', result.stdout)
    assert revealed, result.stdout


# A user's script: lines marked "# rejected" must each get a mypy error, and no other line may.
USER_SCRIPT = """\
from typing import Hashable, List
import numpy
import Corridex
from Corridex import AStar, Index
open_cells = numpy.ones((9, 9), dtype=bool)
AStar(open_cells, Index(0, 0), Index(8, 8)).solve()
AStar(numpy.zeros((9, 9), dtype=numpy.uint8), Index(0, 0), Index(8, 8))
AStar([[True, False], [1, 0]], Index(0, 0), Index(1, 1))
AStar(Corridex.RandomMazeGenerator(9, 9).generate(), Index(0, 0), Index(8, 8))
same: bool = Index(1, 2) == Index(1, 2) and Index(1, 2) != Index(2, 1)
route: List[Index] = AStar(open_cells, Index(), Index()).SrcToDestPath()
AStar("open", Index(0, 0), Index(8, 8))  # rejected
AStar([["open"]], Index(0, 0), Index(8, 8))  # rejected
AStar(open_cells, (0, 0), Index(8, 8))  # rejected
key: Hashable = Index(1, 2)  # rejected
if Index(1, 2) == (1, 2):  # rejected
    pass
if Index(1, 2) != (1, 2):  # rejected
    pass
"""


@pytest.mark.native
def test_mypy_accepts_what_runs_and_rejects_what_raises(tmp_path):
    pytest.importorskip("mypy")
    pytest.importorskip("numpy")
    (tmp_path / "user.py").write_text(USER_SCRIPT)
    environment = {key: value for key, value in os.environ.items() if key != "MYPYPATH"}
    result = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--strict-equality", "--no-incremental",
         "user.py"],
        cwd=tmp_path, env=environment, capture_output=True, text=True, check=False,
    )
    flagged = {int(line) for line in re.findall(r"^user\.py:(\d+): error", result.stdout, re.M)}
    rejected = {number for number, line in enumerate(USER_SCRIPT.splitlines(), start=1)
                if line.endswith("# rejected")}
    assert flagged == rejected, result.stdout + result.stderr


@pytest.mark.native
def test_stubtest_finds_no_difference(tmp_path):
    pytest.importorskip("mypy.stubtest")
    stub = INSTALLED_STUB if INSTALLED_STUB.is_file() else SOURCE_STUB
    shutil.copy(stub, tmp_path / "Corridex.pyi")  # mypy refuses site-packages as a search path
    result = subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", "--concise", "Corridex"],
        cwd=tmp_path, env={**os.environ, "MYPYPATH": str(tmp_path)},
        capture_output=True, text=True, check=False,
    )
    assert result.returncode == 0, result.stdout + result.stderr


def stub_signatures():
    """{(class, method): [(argument, default or None)]} from the stub, self left out."""
    tree = ast.parse(SOURCE_STUB.read_text())
    found = {}
    for node in tree.body:
        if not isinstance(node, ast.ClassDef) or node.name.startswith("_"):
            continue
        for item in node.body:
            if isinstance(item, ast.FunctionDef):
                arguments = item.args.posonlyargs + item.args.args
                defaults = [None] * (len(arguments) - len(item.args.defaults)) + [
                    ast.literal_eval(d) for d in item.args.defaults]
                found[node.name, item.name] = [
                    (a.arg, d) for a, d in zip(arguments, defaults)][1:]
    return found


def runtime_signature(method):
    """[(argument, default or None)] from the first line of a binding docstring, self left out."""
    match = re.match(r"\w+\((.*)\) -> ", method.__doc__.splitlines()[0])
    assert match, method.__doc__
    parameters, depth, current = [], 0, ""
    for char in match.group(1) + ",":
        depth += char in "[(" and 1 or char in "])" and -1 or 0
        if char == "," and depth == 0:
            parameters.append(current.strip())
            current = ""
        else:
            current += char
    result = []
    for parameter in parameters[1:]:
        name, _, rest = parameter.partition(":")
        _, _, default = rest.partition(" = ")
        result.append((name.strip(), ast.literal_eval(default) if default else None))
    return result


STUB_SIGNATURES = stub_signatures()


@pytest.mark.parametrize("where", sorted(STUB_SIGNATURES), ids=".".join)
def test_argument_names_and_defaults_match(where):
    class_name, method_name = where
    method = getattr(getattr(Corridex, class_name), method_name)
    assert runtime_signature(method) == STUB_SIGNATURES[where]


# Bound at run time, typed as object's in the stub on purpose (see Corridex.pyi).
LEFT_TO_OBJECT = {("Index", "__eq__")}


def test_every_runtime_method_is_in_the_stub():
    # A build through pybind11's public API gives each class a __new__ of its own, with object's
    # signature, to tell objects that __init__ never constructed.
    for name in ("Index", "RandomMazeGenerator", *SOLVER_NAMES):
        methods = {key for key, value in vars(getattr(Corridex, name)).items()
                   if callable(value) and not key.startswith("_pybind11")} - {"__repr__", "__new__"}
        typed = {method for cls, method in set(STUB_SIGNATURES) | LEFT_TO_OBJECT
                 if cls == name}
        assert methods <= typed, name
