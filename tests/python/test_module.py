import pytest

import Corridex
from corridex_support.grids import grid_from_text
from corridex_support.promises import SOLVER_NAMES

ORDER = ["Index", "RandomMazeGenerator", *SOLVER_NAMES]


def test_version_and_registration_order():
    assert Corridex.__version__ == "dev"
    registered = [name for name in vars(Corridex) if name in ORDER]
    assert registered == [name for name in ORDER if hasattr(Corridex, name)]
    assert Corridex.__doc__ is None


def test_doc_strings():
    assert Corridex.Index.__doc__ == (
        "   Simple class to encapsulate 2D position of a 1x1 square in the Maze."
    )
    for name in SOLVER_NAMES:
        assert getattr(Corridex, name).__doc__ is None


def test_solver_surface(solver_class):
    public = {name for name in vars(solver_class) if not name.startswith("_")}
    assert public == {
        "solve",
        "SrcToDestPath",
        "SrcToDestDistance",
        "TraversedNodes",
        "TraversedNodesNo",
    }


def test_solver_constructor_keywords(solver_class):
    grid = grid_from_text("..")
    solver = solver_class(grid=grid, start=Corridex.Index(0, 0), end=Corridex.Index(0, 1))
    assert solver.solve() is None
    with pytest.raises(TypeError, match="incompatible constructor arguments"):
        solver_class(grid=grid, start=Corridex.Index(0, 0))
    with pytest.raises(TypeError, match="incompatible constructor arguments"):
        solver_class(grid, None, Corridex.Index(0, 1))


def test_results_are_fresh_copies(solver_class):
    solver = solver_class(grid_from_text("..."), Corridex.Index(0, 0), Corridex.Index(0, 2))
    solver.solve()
    first, second = solver.SrcToDestPath(), solver.SrcToDestPath()
    assert first is not second
    assert [repr(i) for i in first] == [repr(i) for i in second]
    first[0].row = 99
    assert solver.SrcToDestPath()[0].row != 99


def test_caller_objects_are_not_kept(solver_class):
    grid = grid_from_text("...")
    start, end = Corridex.Index(0, 0), Corridex.Index(0, 2)
    solver = solver_class(grid, start, end)
    grid[0][1] = False
    start.col = 1
    end.col = 1
    solver.solve()
    assert solver.SrcToDestDistance() == 2


SUBINTERPRETER_IMPORT = """
try:
    import _interpreters as interpreters
except ImportError:
    import _xxsubinterpreters as interpreters
if {main_first!r}:
    import Corridex
interpreter = interpreters.create()
interpreters.run_string(interpreter, '''
import os
try:
    import Corridex
except ImportError as error:
    outcome = "ImportError: " + str(error)
else:
    solver = Corridex.AStar([[True, True], [True, True]], Corridex.Index(0, 0),
                            Corridex.Index(1, 1))
    solver.solve()
    outcome = "imported, solved: " + repr(solver.SrcToDestPath())
os.write(1, (outcome + "\\\\n").encode())
''')
"""


REFUSED_IN_SUBINTERPRETER = (
    "ImportError: Corridex cannot be imported in a subinterpreter: its binding library "
    "supports the main interpreter only; import it there instead"
)


@pytest.mark.parametrize("main_first", [False, True], ids=["alone", "after-main"])
def test_import_in_a_subinterpreter_fails_cleanly(main_first):
    """The binding library cannot start in a subinterpreter (its start-up would wait for ever on
    the interpreter lock): importing there raises ImportError instead of hanging. Built with a
    binding library that initialises modules in one phase, a module the main interpreter
    already imported is instead handed to the subinterpreter as it is, with no start-up, and
    works there."""
    import importlib.util
    import subprocess
    import sys

    if not any(importlib.util.find_spec(name) for name in ("_interpreters", "_xxsubinterpreters")):
        pytest.skip("this Python has no subinterpreter module")
    script = SUBINTERPRETER_IMPORT.format(main_first=main_first)
    child = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                           timeout=120)
    assert child.returncode == 0, child.stderr
    outcomes = {REFUSED_IN_SUBINTERPRETER}
    if main_first:
        outcomes.add("imported, solved: [1,1, 0,1, 0,0]")
    assert child.stdout.strip() in outcomes, child.stdout + child.stderr
